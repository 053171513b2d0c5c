// quaver-bench append DIR: adding every file of DIR to the current list, as the
// browser's "Play" does, with a watchdog on the main thread.
// quaver-bench startup: start-up with a 10,000-item stored list until the window
// has been painted.
#include "BenchRegistry.h"
#include "StallWatchdog.h"

#include "app/AppDelegate.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

int appendBench(const QStringList& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quaver-bench append DIR\n");
        return 2;
    }
    QStringList paths;
    const QDir dir(args.first());
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        paths.append(dir.absoluteFilePath(name));

    Transport transport;
    MainViewController screen(transport);
    StallWatchdog watchdog;

    bool done = false;
    QElapsedTimer timer;
    timer.start();
    watchdog.start();
    transport.addCollectionWithItems(paths, true, [&] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = timer.elapsed();
    watchdog.stop();
    Alert::dismissAllForTesting();
    std::printf("append_%lld: %lld ms\n", static_cast<long long>(paths.size()),
                static_cast<long long>(elapsed));
    std::printf("main_thread_max_stall: %lld ms\n", watchdog.maxStallMs());
    return 0;
}

int startupBench(const QStringList&)
{
    MediaList items;
    for (int i = 0; i < 10000; ++i) {
        auto item = std::make_shared<MediaDesc>();
        item->filePath =
            QStringLiteral("/home/someone/Music/Artist %1/Album/%2 Song.mp3").arg(i / 40).arg(i);
        item->title = QStringLiteral("Song %1").arg(i);
        item->artist = QStringLiteral("Artist %1").arg(i / 40);
        item->duration = QStringLiteral("3:%1").arg(i % 60, 2, 10, QLatin1Char('0'));
        items.append(std::move(item));
    }
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems(items));
    UserDefaults::standard().synchronize();
    UserDefaults::resetStandardForTesting(); // read from disk, as at a real start

    QElapsedTimer timer;
    timer.start();
    AppDelegate delegate;
    delegate.didFinishLaunching({});
    delegate.viewController()->animatePlaylist(); // the list is on screen
    delegate.window()->grab();                    // one full paint
    std::printf("startup_10k: %lld ms\n", static_cast<long long>(timer.elapsed()));
    return 0;
}

const BenchRegistration append("append", "DIR (add every file of DIR to the list)", appendBench);
const BenchRegistration startup("startup", "(start with a 10,000-item stored list)", startupBench);

} // namespace
