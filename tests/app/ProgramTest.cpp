// The built program, run as a user would run it.
#include "BuildConfig.h"
#include "media/MediaDesc.h"
#include "platform/UserDefaults.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// The file paths of the current list that the program stored, in order.
QStringList storedList(const QString& configHome)
{
    UserDefaults stored(configHome + QStringLiteral("/quaver-pro/defaults.plist"));
    const QVariant data = stored.objectForKey(QStringLiteral("Last Playlist"));
    QStringList paths;
    for (const MediaDescPtr& item :
         MediaDesc::itemsWithArchivedData(data.toByteArray()).value_or(MediaList()))
        paths.append(item->filePath.value_or(QString()));
    return paths;
}

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

TEST(Program, StopSignalsStoreTheListAndExitCleanly)
{
    const QString song = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/music/tone.wav"),
        EngineTest::wavBytes(EngineTest::tone(440, 0.5, 8000, 8000 * 30), 8000, 1));
    for (const int signum : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signum));
        const QString configHome =
            TestEnvironment::home() + QStringLiteral("/config-%1").arg(signum);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUAVER_PROGRAM), {song});
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(TestEnvironment::waitUntil(
            [&] { return storedList(configHome) == QStringList{song}; }, 20000))
            << p.readAllStandardError().toStdString();

        ::kill(pid_t(p.processId()), signum);
        ASSERT_TRUE(p.waitForFinished(2000)) << "still running 2 s after the signal";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << p.readAllStandardError().toStdString();
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_EQ(storedList(configHome), QStringList{song}) << "the list survives the stop";
    }
}
