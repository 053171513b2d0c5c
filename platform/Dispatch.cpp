#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QThread>

namespace Dispatch {

namespace {
constexpr int kHighPriority = 1;
constexpr int kLowPriority = -1;
} // namespace

void main(std::function<void()> task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void globalHigh(std::function<void()> task)
{
    QThreadPool::globalInstance()->start(std::move(task), kHighPriority);
}

void globalLow(std::function<void()> task)
{
    QThreadPool::globalInstance()->start(std::move(task), kLowPriority);
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

SerialQueue::SerialQueue(QString label) : m_label(std::move(label))
{
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(m_label);
}

SerialQueue::~SerialQueue()
{
    m_pool.waitForDone();
}

void SerialQueue::async(std::function<void()> task)
{
    m_pool.start(std::move(task));
}

void SerialQueue::waitForDone()
{
    m_pool.waitForDone();
}

} // namespace Dispatch
