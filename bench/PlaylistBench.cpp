// quaver-bench playlist: pushing the details screen of a 10,000-item playlist
// until its first rows have been painted, with a watchdog on the main thread.
#include "BenchRegistry.h"
#include "StallWatchdog.h"

#include "playlists/PlaylistDetails.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "ui/NavigationController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListView>
#include <QTimer>
#include <cstdio>

namespace {

// Calls done on the first paint of the watched widget after armed() holds.
class PaintWatch : public QObject {
public:
    PaintWatch(std::function<bool()> armed, std::function<void()> done)
        : m_armed(std::move(armed)), m_done(std::move(done))
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_armed())
            m_done();
        return false;
    }

private:
    std::function<bool()> m_armed;
    std::function<void()> m_done;
};

int playlistBench(const QStringList&)
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
    if (!PlaylistHelper::createPlaylistWithName(QStringLiteral("Bench"), items, false))
        return 1;

    NavigationController controller(new QWidget);
    controller.resize(320, 460);
    controller.show();
    QCoreApplication::processEvents();

    StallWatchdog watchdog;

    bool shown = false;
    QElapsedTimer timer;
    timer.start();
    watchdog.start();
    auto *details = new PlaylistDetails(QStringLiteral("Bench"));
    PaintWatch watch([&] { return details->isLoaded(); }, [&] { shown = true; });
    details->table()->viewport()->installEventFilter(&watch);
    controller.push(details);
    while (!shown)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = timer.elapsed();
    watchdog.stop();
    details->table()->viewport()->removeEventFilter(&watch);
    std::printf("details_first_rows_10k: %lld ms\n", static_cast<long long>(elapsed));
    std::printf("main_thread_max_stall: %lld ms\n", watchdog.maxStallMs());
    return details->model()->rowCount() == items.size() ? 0 : 1;
}

const BenchRegistration playlist("playlist", "(push the details of a 10,000-item playlist)",
                                 playlistBench);

} // namespace
