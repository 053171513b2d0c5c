#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLoggingCategory>
#include <QMutex>
#include <QPointer>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <vector>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#endif

namespace Dispatch {

namespace {
Q_LOGGING_CATEGORY(lcDispatch, "quaver.dispatch", QtWarningMsg)

constexpr int kHighPriority = 1;
constexpr int kLowPriority = -1;

// Qt's queues are locked inside Qt, which ThreadSanitizer does not see (the
// system's Qt is not built with it), so it would take every task handed over for
// a race. The queue's lock is described to it instead: a task made and then
// handed over releases this address; its run acquires it first, before touching
// anything of the task. Nothing without ThreadSanitizer.
#if defined(__SANITIZE_THREAD__)
char g_handOver;
void handOverReleased()
{
    __tsan_release(&g_handOver);
}
void handOverAcquired()
{
    __tsan_acquire(&g_handOver);
}
#else
void handOverReleased() {}
void handOverAcquired() {}
#endif

// Qt only stores and calls these through pointers, so all that is written of a
// task happens in this file, before the release.
class PoolTask : public QRunnable {
public:
    explicit PoolTask(std::function<void()> task) : m_task(std::move(task)) {}
    void run() override
    {
        handOverAcquired();
        m_task();
        m_task = nullptr; // its captures die in the worker, ordered before the wait for it
        handOverReleased();
    }

private:
    std::function<void()> m_task;
};

class MainTask : public QEvent {
public:
    static inline const Type kType = Type(registerEventType());
    explicit MainTask(std::function<void()> task) : QEvent(kType), m_task(std::move(task)) {}
    // Also when Qt drops the event undelivered (its receiver's thread ends).
    ~MainTask() override { handOverAcquired(); }
    std::function<void()> m_task;
};

// Runs MainTask events; lives on the main thread for the rest of the process.
class MainTaskRunner : public QObject {
public:
    bool event(QEvent *event) override
    {
        handOverAcquired(); // the event itself was made by the sending thread
        if (event->type() != MainTask::kType)
            return QObject::event(event);
        std::function<void()> task = std::move(static_cast<MainTask *>(event)->m_task);
        task();
        return true;
    }
};

QObject *mainTaskRunner()
{
    static QObject *runner = [] {
        auto *object = new MainTaskRunner;
        object->moveToThread(QCoreApplication::instance()->thread());
        return object;
    }();
    return runner;
}

void startOn(QThreadPool& pool, std::function<void()> task, int priority)
{
    auto *runnable = new PoolTask(std::move(task));
    handOverReleased();
    pool.start(runnable, priority);
}

// Pools of destroyed queues whose task was still running: deleted once idle,
// by whoever looks next.
QMutex g_leftRunningLock;
std::vector<QThreadPool *> g_leftRunning; // guarded by g_leftRunningLock

// Deletes the pools that have become idle; the rest stay listed.
void deleteIdlePools(std::vector<QThreadPool *>& pools)
{
    std::erase_if(pools, [](QThreadPool *pool) {
        if (!pool->waitForDone(0))
            return false;
        handOverAcquired();
        delete pool;
        return true;
    });
}

void leaveRunning(QThreadPool *pool, const QString& label)
{
    qCWarning(lcDispatch) << "a task of" << label
                          << "is still running; it is left to finish on its own";
    const QMutexLocker locker(&g_leftRunningLock);
    deleteIdlePools(g_leftRunning);
    g_leftRunning.push_back(pool);
}

} // namespace

void main(std::function<void()> task)
{
    auto *event = new MainTask(std::move(task));
    handOverReleased();
    QCoreApplication::postEvent(mainTaskRunner(), event);
}

void main(QObject *context, std::function<void()> task)
{
    main([context = QPointer<QObject>(context), task = std::move(task)] {
        if (context)
            task();
    });
}

void globalHigh(std::function<void()> task)
{
    startOn(*QThreadPool::globalInstance(), std::move(task), kHighPriority);
}

void globalLow(std::function<void()> task)
{
    startOn(*QThreadPool::globalInstance(), std::move(task), kLowPriority);
}

bool isMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void adoptOnMainThread(QObject *object, std::function<void()> task)
{
    if (isMainThread()) {
        task();
        return;
    }
    object->moveToThread(QCoreApplication::instance()->thread());
    main(std::move(task));
}

bool waitForWorkers(std::chrono::milliseconds limit)
{
    const QDeadlineTimer deadline(limit);
    const auto left = [&deadline] { return int(deadline.remainingTime()); };
    bool idle = QThreadPool::globalInstance()->waitForDone(left());
    const QMutexLocker locker(&g_leftRunningLock);
    for (QThreadPool *pool : g_leftRunning)
        idle = pool->waitForDone(left()) && idle;
    deleteIdlePools(g_leftRunning);
    if (idle)
        handOverAcquired();
    return idle;
}

SerialQueue::SerialQueue(QString label, OnDestroy onDestroy, std::chrono::milliseconds drainLimit)
    : m_label(std::move(label)), m_onDestroy(onDestroy), m_drainLimit(drainLimit),
      m_pool(new QThreadPool)
{
    m_pool->setMaxThreadCount(1);
    m_pool->setObjectName(m_label);
}

SerialQueue::~SerialQueue()
{
    if (m_onDestroy == OnDestroy::Abandon)
        m_pool->clear();
    const int limit = m_onDestroy == OnDestroy::Drain ? int(m_drainLimit.count()) : 0;
    if (!m_pool->waitForDone(limit)) {
        leaveRunning(m_pool, m_label);
        return;
    }
    handOverAcquired();
    delete m_pool;
}

void SerialQueue::async(std::function<void()> task)
{
    startOn(*m_pool, std::move(task), 0);
}

void SerialQueue::waitForDone()
{
    m_pool->waitForDone();
    handOverAcquired();
}

} // namespace Dispatch
