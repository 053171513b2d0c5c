#pragma once

// The application-wide notification "Background": true when the program has gone
// to the background (its window minimised or hidden), false when it is about to
// come back. Main thread only.

#include <QObject>

class AppNotifier : public QObject {
    Q_OBJECT
public:
    static AppNotifier& instance();

    void postBackground(bool inBackground) { Q_EMIT background(inBackground); }

Q_SIGNALS:
    void background(bool inBackground);
};
