#pragma once

// A settings row that opens an editor: its title on the left, the current value
// (option) right aligned, and a disclosure mark. Main thread only.

#include <QWidget>

class QLabel;

class SettingsLabelCell : public QWidget {
    Q_OBJECT
public:
    explicit SettingsLabelCell(const QString& title, QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    QLabel *option() const { return m_option; }

private:
    QLabel *m_title = nullptr;  // owned (child)
    QLabel *m_option = nullptr; // owned (child)
};
