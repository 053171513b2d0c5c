#pragma once

// What the player shows while the current list is empty: how to add music
// ("Songs → Device") and a button that opens the folder browser the same way.
// It follows the transport's list: hidden as soon as the list has items, shown
// again when it is emptied. Main thread only.

#include <QWidget>
#include <functional>

class QPushButton;
class Transport;

class EmptyListHint : public QWidget {
    Q_OBJECT
public:
    // transport: not owned, outlives the hint. browse: opens the folder browser.
    EmptyListHint(Transport& transport, std::function<void()> browse, QWidget *parent);

    QPushButton *browseButton() const { return m_button; }

private:
    QPushButton *m_button = nullptr; // owned (child)
};
