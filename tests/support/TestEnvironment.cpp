#include "TestEnvironment.h"

#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "ui/Notice.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

std::unique_ptr<QTemporaryDir> g_home;
QStringList g_notices;

// Keeps the text of every notice as it is shown, before a newer one replaces it.
class NoticeRecorder : public QObject {
public:
    using QObject::QObject;

private:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *notice = qobject_cast<Notice *>(watched))
                g_notices.append(notice->text());
        return false;
    }
};

class FreshHomeListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override
    {
        g_home = std::make_unique<QTemporaryDir>();
        const QString root = g_home->path();
        for (const char *sub : {"config", "data", "cache", "runtime"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(root + QStringLiteral("/runtime"), QFileDevice::ReadOwner |
                                                                     QFileDevice::WriteOwner |
                                                                     QFileDevice::ExeOwner);
        qputenv("HOME", root.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toLocal8Bit());
        UserDefaults::resetStandardForTesting();
        g_notices.clear();
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        // Work a test left running must not outlive its folders.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        Alert::dismissAllForTesting();
        ActionSheet::dismissAllForTesting();
        UserDefaults::resetStandardForTesting();
        g_home.reset();
    }
};

} // namespace

namespace TestEnvironment {

void installListener()
{
    testing::UnitTest::GetInstance()->listeners().Append(new FreshHomeListener);
    qApp->installEventFilter(new NoticeRecorder(qApp)); // the application owns it
}

QString home()
{
    return g_home ? g_home->path() : QDir::homePath();
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QStringList takeAlertMessages()
{
    QCoreApplication::processEvents();
    QStringList messages;
    for (Alert *alert : Alert::openAlerts())
        messages.append(alert->message());
    Alert::dismissAllForTesting();
    return messages;
}

QStringList takeNotices()
{
    QCoreApplication::processEvents();
    return std::exchange(g_notices, {});
}

QDialog *shownAlertWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("alert") && w->isVisible())
            return qobject_cast<QDialog *>(w);
    return nullptr;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

std::vector<bool> asOrdinaryUser(const std::function<std::vector<bool>()>& checks)
{
    if (::geteuid() != 0)
        return checks();
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(30);
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(1);
        std::string out;
        for (bool b : checks())
            out += b ? '1' : '0';
        ::_exit(::write(fds[1], out.data(), out.size()) == ssize_t(out.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::vector<bool> results;
    char c;
    while (pid > 0 && ::read(fds[0], &c, 1) == 1)
        results.push_back(c == '1');
    ::close(fds[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    return results;
}

} // namespace TestEnvironment
