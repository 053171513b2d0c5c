// quaver-bench browse: opening a folder of 50,000 entries in the browser until its
// first rows (with their icons) are painted, and one keystroke of the search.
#include "BenchRegistry.h"

#include "browser/FolderListModel.h"
#include "browser/SongsController.h"
#include "ui/NavigationController.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kEntries = 50000;

// Every tenth entry is a folder, the rest are empty files.
bool makeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    for (int i = 0; i < kEntries; ++i) {
        const QByteArray name = QFile::encodeName(
            path + (i % 10 ? QStringLiteral("/Song %1.mp3").arg(i, 5, 10, QLatin1Char('0'))
                           : QStringLiteral("/Folder %1").arg(i, 5, 10, QLatin1Char('0'))));
        if (i % 10 == 0) {
            if (::mkdir(name.constData(), 0755) != 0)
                return false;
            continue;
        }
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

void waitForListing(const SongsController *browser)
{
    while (browser->isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int browseBench(const QStringList&)
{
    const QString folder = QDir::homePath() + QStringLiteral("/browse-bench");
    if (!makeFolder(folder)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
        return 1;
    }
    auto *browser = new SongsController;
    NavigationController controller(browser);
    controller.resize(320, 460);
    controller.show();
    waitForListing(browser);
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    browser->openFolder(folder);
    waitForListing(browser);
    browser->table()->viewport()->repaint();
    const qint64 listMs = timer.elapsed();

    // "s" matches every entry but the folders: the largest result a keystroke gives.
    timer.restart();
    browser->filterContentForSearchText(QStringLiteral("s"));
    browser->table()->viewport()->repaint();
    const qint64 filterMs = timer.elapsed();

    std::printf("browse_list_50k: %lld ms\n", static_cast<long long>(listMs));
    std::printf("browse_filter_50k: %lld ms\n", static_cast<long long>(filterMs));
    QDir(folder).removeRecursively();
    return browser->model()->rowCount() == kEntries - kEntries / 10 ? 0 : 1;
}

const BenchRegistration browse("browse", "(open a folder of 50,000 entries, then search it)",
                               browseBench);

} // namespace
