#pragma once

// Dispatch queues. Work handed to a worker builds its result there and hands it
// to the main thread with Dispatch::main(); widgets are touched on the main thread
// only.
//
// Every function may be called from any thread except the render thread.

#include <QString>
#include <QThreadPool>
#include <functional>
#include <memory>

namespace Dispatch {

// Runs task on the main thread, from the event loop, after the caller returns.
void main(std::function<void()> task);
// The same, unless context (a main-thread object) has been destroyed by then.
void main(QObject *context, std::function<void()> task);

// Runs task on the shared worker pool; high-priority tasks start before waiting
// low-priority ones.
void globalHigh(std::function<void()> task);
void globalLow(std::function<void()> task);

bool isMainThread();

// Runs task now when called on the main thread; otherwise hands object (made on
// this worker, with no parent) over to the main thread and runs task there, after
// the caller returns. For presentation objects that any thread may show.
void adoptOnMainThread(QObject *object, std::function<void()> task);

// A private queue: its tasks run one at a time, in the order they were added, on
// a worker thread. Destroying the queue waits for its tasks.
class SerialQueue {
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();

    void async(std::function<void()> task);
    void waitForDone();
    QString label() const { return m_label; }

private:
    const QString m_label;
    QThreadPool m_pool; // one thread; FIFO for equal priority
};

} // namespace Dispatch
