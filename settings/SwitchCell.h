#pragma once

// A settings row with a title and an on/off switch. The switch is a checkable
// button showing "ON" or "OFF"; clicked() reports a user's change (Space or a
// click on the switch). The tag tells the owner which row it is. Main thread only.

#include <QWidget>

class QLabel;
class QPushButton;

class SwitchCell : public QWidget {
    Q_OBJECT
public:
    explicit SwitchCell(const QString& title, QWidget *parent = nullptr);

    QLabel *titleLabel() const { return m_titleLabel; }
    QPushButton *switchButton() const { return m_switch; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    bool isOn() const;
    // Sets the state without reporting it.
    void setOn(bool on);

Q_SIGNALS:
    // The user switched; on is the new state.
    void switched(bool on);

private:
    QLabel *m_titleLabel = nullptr;  // owned (child)
    QPushButton *m_switch = nullptr; // owned (child)
    int m_tag = 0;
};
