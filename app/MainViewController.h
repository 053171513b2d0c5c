#pragma once

// The root screen: the player. Holds the current list, the transport and the
// engine once those are built; for now the screen's frame and title.
// Main thread only.

#include <QWidget>

class MainViewController : public QWidget {
    Q_OBJECT
public:
    explicit MainViewController(QWidget *parent = nullptr);
};
