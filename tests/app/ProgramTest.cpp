// The built program, run as a user would run it.
#include "BuildConfig.h"
#include "DBusTestSupport.h"
#include "app/MprisService.h"
#include "media/MediaDesc.h"
#include "platform/UserDefaults.h"
#include "support/EngineTestSupport.h"
#include "support/SmallDisk.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr int kScale = TestEnvironment::kTimeScale;

// The file paths of the current list that the program stored, in order.
QStringList storedList(const QString& configHome)
{
    // Read only: a reader must never take the program's lock.
    UserDefaults stored(configHome + QStringLiteral("/quaver-pro/defaults.plist"),
                        UserDefaults::Access::ReadOnly);
    const QVariant data = stored.objectForKey(QStringLiteral("Last Playlist"));
    QStringList paths;
    for (const MediaDescPtr& item :
         MediaDesc::itemsWithArchivedData(data.toByteArray()).value_or(MediaList()))
        paths.append(item->filePath.value_or(QString()));
    return paths;
}

// The environment of a program that a test runs: offscreen, its own configuration
// folder, and the session bus at busAddress; by default an address where no bus
// listens, so that no test ever reaches the desktop session of whoever runs it.
QProcessEnvironment programEnvironment(const QString& configHome, QString busAddress = {})
{
    if (busAddress.isEmpty())
        busAddress = QStringLiteral("unix:path=%1/no-bus").arg(TestEnvironment::home());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    return env;
}

// A player program that a test starts; killed if the test leaves it running.
class Player {
public:
    Player(const QProcessEnvironment& env, const QStringList& arguments, const QString& folder = {})
    {
        m_process.setProcessEnvironment(env);
        if (!folder.isEmpty())
            m_process.setWorkingDirectory(folder);
        m_process.start(QStringLiteral(QUAVER_PROGRAM), arguments);
    }
    ~Player()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QProcess& process() { return m_process; }
    pid_t pid() const { return pid_t(m_process.processId()); }
    // Everything the program wrote on stderr so far.
    QString errors()
    {
        m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_errors;
    }
    // Sends signum and waits for the end; true when the program exited with 0.
    bool stop(int signum = SIGTERM)
    {
        ::kill(pid(), signum);
        return m_process.waitForFinished(5000 * kScale) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
    QString m_errors;
};

// A player property read over MPRIS (Metadata as a map); invalid without an answer.
QVariant mprisProperty(const QDBusConnection& client, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(MprisService::kServiceName), QLatin1String(MprisService::kObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QLatin1String(MprisService::kPlayerInterface) << name;
    const QVariant value =
        DBusTest::callAndWait(client, get).arguments().value(0).value<QDBusVariant>().variant();
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value);
    return value;
}

// Whether the player behind client plays path.
bool plays(const QDBusConnection& client, const QString& path)
{
    return mprisProperty(client, QStringLiteral("PlaybackStatus")) == QStringLiteral("Playing") &&
           mprisProperty(client, QStringLiteral("Metadata"))
                   .toMap()
                   .value(QStringLiteral("xesam:url")) ==
               QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

const QString kSecondCopy = QStringLiteral("another copy of the program is using the settings");

} // namespace

TEST(Program, HelpAndVersionNeedNoDisplay)
{
    // No display server at all, as over SSH or in a package build; the platform
    // plugin either Qt's usual one on Linux or one that does not exist.
    for (const char *platform : {"xcb", "no-such-platform"}) {
        for (const auto& [arg, text] : {std::pair{"--help", "--media-root"},
                                        std::pair{"--version", "quaver-pro " QUAVER_VERSION}}) {
            SCOPED_TRACE(std::string(arg) + " with platform '" + platform + "'");
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QLatin1String(platform));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(QUAVER_PROGRAM), {QLatin1String(arg)});
            ASSERT_TRUE(p.waitForFinished(20000));
            EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
            EXPECT_TRUE(out.contains(QLatin1String(text))) << out.toStdString();
        }
    }
}

// A file on a hung disk (its opening never ends) given on the command line holds
// up neither the stop nor the stored list.
TEST(Program, AStuckReadHoldsUpNeitherTheStoresNorTheStop)
{
    const QString a = EngineTest::writeWav(QStringLiteral("a.wav"), 2);
    const QString stuck = EngineTest::writeWav(QStringLiteral("stuck.wav"), 2);
    const QString configHome = TestEnvironment::home() + QStringLiteral("/config");
    {
        Player first(programEnvironment(configHome), {a});
        ASSERT_TRUE(TestEnvironment::waitUntil(
            [&] { return storedList(configHome) == QStringList{a}; }, 20000))
            << first.errors().toStdString();
        ASSERT_TRUE(first.stop(SIGHUP)) << "each stop signal exits cleanly";
    }
    QProcessEnvironment env = programEnvironment(configHome);
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QUAVER_STALL_OPEN));
    env.insert(QStringLiteral("QUAVER_STALL_NAME"), QStringLiteral("stuck"));
    // The sanitizer's runtime would insist on coming first.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    Player player(env, {stuck});
    QThread::msleep(1000 * kScale); // for the addition to start, and stick
    QElapsedTimer stopping;
    stopping.start();
    ::kill(player.pid(), SIGTERM);
    ASSERT_TRUE(player.process().waitForFinished(5000 * kScale));
    EXPECT_LT(stopping.elapsed(), 2000 * kScale) << player.errors().toStdString();
    EXPECT_EQ(player.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.process().exitCode(), 0);
    EXPECT_EQ(storedList(configHome), QStringList{a});
}

// On a full disk a start with a file to add, and its stop, leave the stored file
// as it was, byte for byte, with no temporary file beside it; the user is told.
TEST(Program, OnAFullDiskTheStoredFileStaysAsItWas)
{
    const QString configHome = TestEnvironment::home() + QStringLiteral("/config");
    const QString folder = configHome + QStringLiteral("/quaver-pro");
    SmallDisk disk(folder);
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString a = EngineTest::writeWav(QStringLiteral("a.wav"), 2);
    const QString b = EngineTest::writeWav(QStringLiteral("b.wav"), 2);
    {
        Player first(programEnvironment(configHome), {a});
        ASSERT_TRUE(TestEnvironment::waitUntil(
            [&] { return storedList(configHome) == QStringList{a}; }, 20000));
        ASSERT_TRUE(first.stop());
    }
    const auto stored = [&] {
        QFile file(folder + QStringLiteral("/defaults.plist"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = stored();
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    disk.fill();

    Player second(programEnvironment(configHome), {b});
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] { return second.errors().contains(QLatin1String("No space left on device")); }, 20000))
        << second.errors().toStdString();
    EXPECT_TRUE(second.stop());
    EXPECT_EQ(stored(), before);
    QStringList now = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    now.removeOne(QStringLiteral(".filler"));
    EXPECT_EQ(now, names) << "no temporary file is left";
}

// A second launch hands its files over and ends; a screenshot run beside the
// running copy is a throwaway that hands nothing over and stores nothing.
TEST(Program, ASecondLaunchHandsItsFilesToTheRunningOneAndEnds)
{
    DBusTest::PrivateBus bus;
    if (!bus.whyNot().isEmpty())
        GTEST_SKIP() << bus.whyNot().toStdString();
    const QString music = TestEnvironment::home() + QStringLiteral("/music");
    const QString first = EngineTest::writeWav(QStringLiteral("first.wav"), 30);
    // Named as people name files; reached through a relative path and a folder.
    const QString second = EngineTest::writeWav(QStringLiteral("b #2 \u00fc 100%.wav"), 30);
    const QString third = EngineTest::writeWav(QStringLiteral("album/c.wav"), 30);
    const QString configHome = TestEnvironment::home() + QStringLiteral("/config");
    const QProcessEnvironment env = programEnvironment(configHome, bus.address());
    QDBusConnection client = bus.connect();

    Player running(env, {first});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return plays(client, first); }, 20000 * kScale))
        << running.errors().toStdString();

    QElapsedTimer took;
    took.start();
    Player later(env, {QFileInfo(second).fileName(), QStringLiteral("album")}, music);
    ASSERT_TRUE(later.process().waitForFinished(10000 * kScale)) << "the second launch runs on";
    EXPECT_EQ(later.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.process().exitCode(), 0) << later.errors().toStdString();
    EXPECT_LT(took.elapsed(), 5000 * kScale);
    EXPECT_FALSE(later.errors().contains(QStringLiteral("MPRIS"))) << "it made no player";

    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return plays(client, second); }, 10000 * kScale))
        << "the first of the files handed over plays";
    EXPECT_TRUE(TestEnvironment::waitUntil(
        [&] {
            return storedList(configHome) == QStringList{first, second, third};
        },
        10000 * kScale))
        << storedList(configHome).join(QLatin1Char('\n')).toStdString();

    // Without files, a second launch only shows the window.
    Player bare(env, {});
    ASSERT_TRUE(bare.process().waitForFinished(10000 * kScale));
    EXPECT_EQ(bare.process().exitCode(), 0) << bare.errors().toStdString();

    const QString other = EngineTest::writeWav(QStringLiteral("other.wav"), 30);
    const QString picture = TestEnvironment::home() + QStringLiteral("/shot.png");
    Player shot(env, {QStringLiteral("--screenshot"), picture, QStringLiteral("--window-size"),
                      QStringLiteral("1920x1080"), other});
    ASSERT_TRUE(shot.process().waitForFinished(20000 * kScale));
    EXPECT_EQ(shot.process().exitCode(), 0) << shot.errors().toStdString();
    const QImage image(picture);
    ASSERT_EQ(image.size(), QSize(1920, 1080)) << "the picture was taken at the size asked";
    // The screen fills it: the bottom bar and the control panel reach the right edge.
    EXPECT_EQ(image.pixel(1915, 1075), image.pixel(5, 1075));
    EXPECT_EQ(image.pixel(1915, 40), image.pixel(60, 40));
    EXPECT_FALSE(shot.errors().contains(kSecondCopy)) << "a throwaway run takes no lock";
    EXPECT_TRUE(plays(client, second)) << "the screenshot run handed nothing over";

    EXPECT_TRUE(running.stop()) << running.errors().toStdString();
    EXPECT_EQ(storedList(configHome), (QStringList{first, second, third}))
        << "the list stored at the end holds both launches' files";
}

// Without a bus the lock decides: a second copy stores nothing and says so once, and
// a copy killed outright leaves no lock behind for the next one.
TEST(Program, WithoutABusASecondCopyStoresNothingAndAKilledCopyFreesTheLock)
{
    const QString first = EngineTest::writeWav(QStringLiteral("first.wav"), 30);
    const QString second = EngineTest::writeWav(QStringLiteral("second.wav"), 30);
    const QString configHome = TestEnvironment::home() + QStringLiteral("/config");
    const QProcessEnvironment env = programEnvironment(configHome);
    Player running(env, {first});
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] { return storedList(configHome) == QStringList{first}; }, 20000 * kScale))
        << running.errors().toStdString();
    {
        Player beside(env, {second});
        EXPECT_TRUE(TestEnvironment::waitUntil(
            [&] { return beside.errors().contains(kSecondCopy); }, 20000 * kScale))
            << beside.errors().toStdString();
        // Time for it to add its file and try to store its list.
        TestEnvironment::waitUntil([] { return false; }, 1500 * kScale);
        EXPECT_EQ(storedList(configHome), QStringList{first});
        EXPECT_TRUE(beside.stop()) << beside.errors().toStdString();
        EXPECT_EQ(beside.errors().count(kSecondCopy), 1) << "it says so once";
        EXPECT_EQ(storedList(configHome), QStringList{first}) << "nor at its end";
    }
    EXPECT_FALSE(running.errors().contains(kSecondCopy));
    ::kill(running.pid(), SIGKILL);
    ASSERT_TRUE(running.process().waitForFinished(5000 * kScale));

    Player next(env, {second});
    EXPECT_TRUE(TestEnvironment::waitUntil(
        [&] {
            return storedList(configHome) == QStringList{first, second};
        },
        20000 * kScale))
        << next.errors().toStdString();
    EXPECT_TRUE(next.stop(SIGINT));
    EXPECT_FALSE(next.errors().contains(kSecondCopy)) << next.errors().toStdString();
}
