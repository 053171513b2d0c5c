// SleepWatcher against a stand-in for systemd-logind on a private bus.
#include "app/SleepWatcher.h"
#include "DBusTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using DBusTest::PrivateBus;

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

    // True when every writer of the last lock handed out has closed it.
    bool lastLockReleased() const
    {
        if (readEnds.isEmpty())
            return false;
        char byte;
        return read(readEnds.last(), &byte, 1) == 0;
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

class SleepWatcherTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isUp())
            GTEST_SKIP() << bus.whyNot().toStdString();
        logindBus = bus.connect();
        ASSERT_TRUE(logindBus.registerObject(QLatin1String(SleepWatcher::kLogindPath), &logind,
                                             QDBusConnection::ExportAllSlots |
                                                 QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(logindBus.registerService(QLatin1String(SleepWatcher::kLogindService)));
    }

    std::unique_ptr<SleepWatcher> startWatcher()
    {
        auto watcher = std::make_unique<SleepWatcher>(bus.connect());
        QObject::connect(watcher.get(), &SleepWatcher::interruptionBegan,
                         [this, w = watcher.get()] {
                             ++began;
                             lockHeldWhenBegan = w->holdsSleepDelay();
                         });
        QObject::connect(watcher.get(), &SleepWatcher::interruptionEnded, [this] { ++ended; });
        return watcher;
    }

    // Emits PrepareForSleep from the stand-in and waits until the watcher's count moves.
    bool sleep(bool start, const int& counter)
    {
        const int before = counter;
        Q_EMIT logind.PrepareForSleep(start);
        return TestEnvironment::waitUntil([&] { return counter > before; }, 3000);
    }

    PrivateBus bus;
    FakeLogind logind;
    QDBusConnection logindBus{QString()};
    int began = 0;
    int ended = 0;
    bool lockHeldWhenBegan = false;
};

} // namespace

TEST_F(SleepWatcherTest, SleepAndWakeBecomeAnInterruptionHeldOpenByADelayLock)
{
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher->isWatching());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return watcher->holdsSleepDelay(); }, 3000));
    ASSERT_EQ(logind.inhibitCalls.size(), 1);
    EXPECT_EQ(logind.inhibitCalls[0].value(0), QStringLiteral("sleep"));
    EXPECT_EQ(logind.inhibitCalls[0].value(3), QStringLiteral("delay"));
    EXPECT_FALSE(logind.lastLockReleased());

    ASSERT_TRUE(sleep(true, began));
    EXPECT_TRUE(lockHeldWhenBegan);
    EXPECT_FALSE(watcher->holdsSleepDelay());
    EXPECT_TRUE(logind.lastLockReleased());
    EXPECT_EQ(ended, 0);

    ASSERT_TRUE(sleep(false, ended));
    EXPECT_EQ(began, 1);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return watcher->holdsSleepDelay(); }, 3000));
    EXPECT_EQ(logind.inhibitCalls.size(), 2);
    EXPECT_FALSE(logind.lastLockReleased());

    watcher.reset();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return logind.lastLockReleased(); }, 3000));
}

TEST_F(SleepWatcherTest, OnlyEdgesCount)
{
    auto watcher = startWatcher();
    // A wake without a sleep before it resumes nothing; a repeated sleep is one.
    Q_EMIT logind.PrepareForSleep(false);
    ASSERT_TRUE(sleep(true, began));
    Q_EMIT logind.PrepareForSleep(true);
    ASSERT_TRUE(sleep(false, ended));
    EXPECT_EQ(began, 1);
    EXPECT_EQ(ended, 1);
}

TEST_F(SleepWatcherTest, TheSameSignalFromAnotherSenderIsIgnored)
{
    auto watcher = startWatcher();
    QDBusConnection intruder = bus.connect();
    QDBusMessage fake = QDBusMessage::createSignal(QLatin1String(SleepWatcher::kLogindPath),
                                                   QLatin1String(SleepWatcher::kManagerInterface),
                                                   QStringLiteral("PrepareForSleep"));
    fake << true;
    ASSERT_TRUE(intruder.send(fake));
    // A round trip to the daemon: the forged signal has been routed before logind's.
    ASSERT_TRUE(
        intruder.interface()->isServiceRegistered(QStringLiteral("org.example.x")).isValid());

    // Taken, the forged sleep would turn logind's wake into an interruptionEnded().
    Q_EMIT logind.PrepareForSleep(false);
    ASSERT_TRUE(sleep(true, began));
    TestEnvironment::waitUntil([] { return false; }, 50);
    EXPECT_EQ(began, 1);
    EXPECT_EQ(ended, 0);
}

TEST_F(SleepWatcherTest, WithoutLogindThereIsNoLockAndNoNoise)
{
    logindBus.unregisterService(QLatin1String(SleepWatcher::kLogindService));
    DBusTest::StderrCapture err;
    auto watcher = startWatcher();
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(watcher->holdsSleepDelay());
    EXPECT_TRUE(logind.inhibitCalls.isEmpty());
    EXPECT_TRUE(err.text().isEmpty()) << err.text().toStdString();
}

TEST(SleepWatcherNoBus, WithoutASystemBusTheWatcherIsSilentlyAbsent)
{
    DBusTest::StderrCapture err;
    const QString name = QStringLiteral("quaver-test-nosystembus");
    {
        SleepWatcher watcher(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name));
        EXPECT_FALSE(watcher.isWatching());
        EXPECT_FALSE(watcher.holdsSleepDelay());
    }
    QDBusConnection::disconnectFromBus(name);
    {
        SleepWatcher systemWatcher;
    } // the machine's own system bus, or none: either way quiet
    EXPECT_TRUE(err.text().isEmpty()) << err.text().toStdString();
}

#include "SleepWatcherTest.moc"
