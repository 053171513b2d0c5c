#include "app/SleepWatcher.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

SleepWatcher::SleepWatcher(QObject *parent) : SleepWatcher(QDBusConnection::systemBus(), parent) {}

SleepWatcher::SleepWatcher(const QDBusConnection& bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_watching = m_bus.connect(QLatin1String(kLogindService), QLatin1String(kLogindPath),
                               QLatin1String(kManagerInterface), QStringLiteral("PrepareForSleep"),
                               this, SLOT(prepareForSleep(bool)));
    if (m_watching)
        takeSleepDelay();
}

SleepWatcher::~SleepWatcher()
{
    if (m_watching)
        m_bus.disconnect(QLatin1String(kLogindService), QLatin1String(kLogindPath),
                         QLatin1String(kManagerInterface), QStringLiteral("PrepareForSleep"), this,
                         SLOT(prepareForSleep(bool)));
}

void SleepWatcher::prepareForSleep(bool sleeping)
{
    // logind repeats neither edge; a stray one (a signal queued across a restart of
    // logind) must not resume a player that was never interrupted.
    if (sleeping == m_sleeping)
        return;
    m_sleeping = sleeping;
    if (sleeping) {
        Q_EMIT interruptionBegan();
        m_delayLock = QDBusUnixFileDescriptor();
    } else {
        Q_EMIT interruptionEnded();
        takeSleepDelay();
    }
}

void SleepWatcher::takeSleepDelay()
{
    if (m_pendingLock || m_delayLock.isValid() ||
        !(m_bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kLogindService), QLatin1String(kLogindPath),
                                       QLatin1String(kManagerInterface), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Quaver Pro")
         << QStringLiteral("Pausing playback before the system sleeps") << QStringLiteral("delay");
    m_pendingLock = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(m_pendingLock, &QDBusPendingCallWatcher::finished, this,
            &SleepWatcher::sleepDelayAnswered);
}

void SleepWatcher::sleepDelayAnswered(QDBusPendingCallWatcher *call)
{
    m_pendingLock = nullptr;
    call->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    // A lock granted while the system is already going down would hold it back for
    // the whole delay: drop it, a new one is taken on waking.
    if (reply.isError() || m_sleeping)
        return;
    m_delayLock = reply.value();
}
