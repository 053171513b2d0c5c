#pragma once

// A screen that only says that its content is not there yet ("Coming soon"), with
// a "Close" button on the right of the navigation bar that dismisses it. It stands
// in for screens that are still being built, so the menus that open them already
// work. Main thread only.

#include <QWidget>

class QLabel;

class PlaceholderScreen : public QWidget {
    Q_OBJECT
public:
    explicit PlaceholderScreen(const QString& title, QWidget *parent = nullptr);
    PlaceholderScreen(const QString& title, const QString& text, QWidget *parent = nullptr);

    QString text() const;

private:
    QLabel *m_label = nullptr; // owned (child)
};
