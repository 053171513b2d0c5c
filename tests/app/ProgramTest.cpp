// The installed program, run as a user would run it.
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

ProgramRun runProgram(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUAVER_PROGRAM), args);
    ProgramRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.status = p.exitStatus();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

TEST(Program, HelpAndVersionDescribeTheCommandLine)
{
    const ProgramRun help = runProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.status, QProcess::NormalExit);
    EXPECT_EQ(help.exitCode, 0);
    for (const char *word : {"--media-root", "--version", "FILE|FOLDER"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word << help.out.toStdString();

    const ProgramRun version = runProgram({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("Quaver Pro")) ||
                version.out.startsWith(QStringLiteral("quaver-pro")))
        << version.out.toStdString();
}

TEST(Program, StartsShowsItsWindowAndQuitsCleanly)
{
    const QString shot = TestEnvironment::home() + QStringLiteral("/window.png");
    const ProgramRun run = runProgram({QStringLiteral("--screenshot"), shot});
    ASSERT_EQ(run.status, QProcess::NormalExit) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(320, 460));
}

TEST(Program, UnknownOptionIsRefusedWithAMessage)
{
    const ProgramRun run = runProgram({QStringLiteral("--no-such-option")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no-such-option")));
}
