#pragma once

// Dispatch queues. Work handed to a worker builds its result there and hands it
// to the main thread with Dispatch::main(); widgets are touched on the main thread
// only.
//
// Every function may be called from any thread except the render thread.

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QThreadPool;

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

// Waits at most limit for every worker task started so far (the shared pool's
// and those of queues left running, see SerialQueue) and says whether all ended.
// For the end of the program: a task stuck on a hung disk must not keep the
// program from ending, so the caller ends the process without the usual teardown
// (which would wait for it without bound) when this says false.
bool waitForWorkers(std::chrono::milliseconds limit);

// A private queue: its tasks run one at a time, in the order they were added, on
// a worker thread.
//
// Destroying the queue never waits without bound. A draining queue waits up to
// its limit for the tasks added so far; an abandoning queue drops the tasks not
// yet started and waits for none. A task still running then is left to finish
// on its own (waitForWorkers counts it), so the tasks of either kind must reach
// their owner only through a guard that outlives it (a QPointer read on the main
// thread, a weak_ptr).
class SerialQueue {
public:
    enum class OnDestroy { Drain, Abandon };
    // The default limit leaves a stop request room for the rest of the program's
    // end within two seconds.
    static constexpr std::chrono::milliseconds kDrainLimit{250};

    explicit SerialQueue(QString label, OnDestroy onDestroy = OnDestroy::Drain,
                         std::chrono::milliseconds drainLimit = kDrainLimit);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    // Blocks until every task added so far has run. For tests and for owners that
    // must see the tasks' effects; a destructor relies on its own bounded wait.
    void waitForDone();
    QString label() const { return m_label; }

private:
    const QString m_label;
    const OnDestroy m_onDestroy;
    const std::chrono::milliseconds m_drainLimit;
    QThreadPool *const m_pool; // one thread, FIFO; owned until left running
};

} // namespace Dispatch
