#pragma once

// Measures how long the main thread was kept from its event loop: a 5 ms timer
// whose longest gap between ticks is the longest stall. Main thread only.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

class StallWatchdog {
public:
    StallWatchdog()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_maxStallMs = std::max(m_maxStallMs, m_sinceTick.restart()); });
    }
    void start()
    {
        m_maxStallMs = 0;
        m_sinceTick.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // The longest gap between ticks since start(), in ms.
    long long maxStallMs() const { return m_maxStallMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_maxStallMs = 0;
};
