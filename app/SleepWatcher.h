#pragma once

// Turns the system going to sleep and waking up into the player's audio interruption:
// systemd-logind's org.freedesktop.login1.Manager.PrepareForSleep(bool) on the system
// bus, true → interruptionBegan(), false → interruptionEnded(). Only the bus name
// org.freedesktop.login1 is listened to; the same signal from anyone else is ignored.
//
// While awake the watcher holds a logind "delay" inhibitor lock for sleep, so that the
// system waits (up to logind's InhibitDelayMaxSec) until interruptionBegan() has been
// handled; it gives the lock back right after and takes a new one on waking.
//
// Where there is no system bus or no logind the watcher does nothing, silently.
// Main thread only.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusPendingCallWatcher;

class SleepWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kLogindService = "org.freedesktop.login1";
    static constexpr const char *kLogindPath = "/org/freedesktop/login1";
    static constexpr const char *kManagerInterface = "org.freedesktop.login1.Manager";

    // Watches the system bus.
    explicit SleepWatcher(QObject *parent = nullptr);
    // Watches the given connection (tests use a private bus with a stand-in logind).
    explicit SleepWatcher(const QDBusConnection& bus, QObject *parent = nullptr);
    ~SleepWatcher() override;

    // True when the PrepareForSleep signal is subscribed.
    bool isWatching() const { return m_watching; }
    // True while a delay lock is held.
    bool holdsSleepDelay() const { return m_delayLock.isValid(); }

Q_SIGNALS:
    // The system is about to sleep. Handlers run before the delay lock is released.
    void interruptionBegan();
    // The system woke up after an interruptionBegan().
    void interruptionEnded();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    void takeSleepDelay();
    void sleepDelayAnswered(QDBusPendingCallWatcher *call);

    QDBusConnection m_bus;
    bool m_watching = false;                          // main thread only
    bool m_sleeping = false;                          // main thread only
    QDBusUnixFileDescriptor m_delayLock;              // main thread only; closing it releases
    QDBusPendingCallWatcher *m_pendingLock = nullptr; // main thread only; child of this
};
