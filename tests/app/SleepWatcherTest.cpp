// SleepWatcher against a stand-in for systemd-logind on a private bus.
#include "app/SleepWatcher.h"
#include "DBusTestSupport.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

// The part of org.freedesktop.login1.Manager the watcher uses. Each Inhibit hands
// out the write end of a fresh pipe and keeps the read end, so the test sees when
// the watcher has let go of the lock (the read end reaches end of file).
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogind() override
    {
        for (int fd : readEnds)
            close(fd);
    }

    QList<QStringList> inhibitCalls;
    QList<int> readEnds;

    bool lastLockReleased() const
    {
        char byte;
        return !readEnds.isEmpty() && read(readEnds.last(), &byte, 1) == 0;
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        inhibitCalls.append({what, who, why, mode});
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return {};
        readEnds.append(fds[0]);
        QDBusUnixFileDescriptor lock(fds[1]); // keeps a duplicate
        close(fds[1]);
        return lock;
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
};

} // namespace

// A forged PrepareForSleep from another sender is ignored; logind's own sleep and
// wake edges become one interruption, held open by a delay lock that is let go at
// the sleep and taken again at the wake.
TEST(SleepWatcher, SleepAndWakeEdgesBecomeAnInterruptionHeldOpenByADelayLock)
{
    DBusTest::PrivateBus bus;
    if (!bus.whyNot().isEmpty())
        GTEST_SKIP() << bus.whyNot().toStdString();
    FakeLogind logind;
    QDBusConnection logindBus = bus.connect();
    ASSERT_TRUE(logindBus.registerObject(QLatin1String(SleepWatcher::kLogindPath), &logind,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(logindBus.registerService(QLatin1String(SleepWatcher::kLogindService)));
    QDBusConnection watcherBus = bus.connect();
    auto watcher = std::make_unique<SleepWatcher>(watcherBus);
    int began = 0, ended = 0;
    bool lockHeldWhenBegan = false;
    QObject::connect(watcher.get(), &SleepWatcher::interruptionBegan, [&] {
        ++began;
        lockHeldWhenBegan = watcher->holdsSleepDelay();
    });
    QObject::connect(watcher.get(), &SleepWatcher::interruptionEnded, [&] { ++ended; });
    // Emits PrepareForSleep from the stand-in and waits until the watcher's count moves.
    const auto sleep = [&](bool start, const int& counter) {
        const int before = counter;
        Q_EMIT logind.PrepareForSleep(start);
        return TestEnvironment::waitUntil([&] { return counter > before; }, 3000);
    };
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return watcher->holdsSleepDelay(); }));
    ASSERT_EQ(logind.inhibitCalls.size(), 1);
    EXPECT_EQ(logind.inhibitCalls[0].value(0), QStringLiteral("sleep"));
    EXPECT_EQ(logind.inhibitCalls[0].value(3), QStringLiteral("delay"));

    QDBusConnection intruder = bus.connect();
    QDBusMessage fake = QDBusMessage::createSignal(QLatin1String(SleepWatcher::kLogindPath),
                                                   QLatin1String(SleepWatcher::kManagerInterface),
                                                   QStringLiteral("PrepareForSleep"));
    ASSERT_TRUE(intruder.send(fake << true));
    // Round trips: the daemon has routed the forged signal, and the watcher's
    // connection has queued it.
    for (QDBusConnection *c : {&intruder, &watcherBus})
        ASSERT_TRUE(c->interface()->isServiceRegistered(QStringLiteral("org.example.x")).isValid());
    QCoreApplication::processEvents();
    EXPECT_EQ(began, 0) << "a forged sleep";
    EXPECT_FALSE(logind.lastLockReleased());

    Q_EMIT logind.PrepareForSleep(false); // a wake without a sleep resumes nothing
    ASSERT_TRUE(sleep(true, began));
    EXPECT_TRUE(lockHeldWhenBegan);
    EXPECT_TRUE(logind.lastLockReleased());
    EXPECT_EQ(ended, 0);

    Q_EMIT logind.PrepareForSleep(true); // a repeated sleep is the same one
    ASSERT_TRUE(sleep(false, ended));
    EXPECT_EQ(began, 1);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return watcher->holdsSleepDelay(); }));
    EXPECT_EQ(logind.inhibitCalls.size(), 2);

    watcher.reset();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return logind.lastLockReleased(); }, 3000));
}

#include "SleepWatcherTest.moc"
