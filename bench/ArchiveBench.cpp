// quaver-bench archive: keyed archiving of a 10,000-record list (the size of a
// large playlist or "Last Playlist"). Each figure is the best of five runs.
#include "BenchRegistry.h"

#include "media/MediaDesc.h"
#include "playlists/PlaylistHelper.h"

#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRecords = 10000;
constexpr int kRuns = 5;

// Records as the metadata reader makes them: a few hundred artists and albums,
// paths of about 80 characters, durations as "m:ss".
MediaList realisticRecords()
{
    MediaList items;
    items.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        auto item = std::make_shared<MediaDesc>();
        const int artist = i / 37;
        const int album = i / 12;
        item->artist = QStringLiteral("Artist Name Number %1").arg(artist);
        item->album = QStringLiteral("Album Title %1").arg(album);
        item->title = QStringLiteral("Track %1 – Some Song Title Of Medium Length").arg(i);
        item->duration =
            QStringLiteral("%1:%2").arg(2 + i % 6).arg(i % 60, 2, 10, QLatin1Char('0'));
        item->filePath = QStringLiteral("/home/someone/Music/Artist Name Number %1/Album Title %2/"
                                        "%3 Some Song Title.mp3")
                             .arg(artist)
                             .arg(album)
                             .arg(i % 12 + 1, 2, 10, QLatin1Char('0'));
        items.append(std::move(item));
    }
    return items;
}

// Best wall time of kRuns calls, in milliseconds.
double bestOf(const std::function<void()>& run)
{
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

int archiveBench(const QStringList&)
{
    const MediaList items = realisticRecords();
    QByteArray archive;
    const double archiveMs = bestOf([&] { archive = MediaDesc::archivedDataWithItems(items); });
    std::printf("archive_10k: %.1f ms\n", archiveMs);

    std::optional<MediaList> decoded;
    const double unarchiveMs = bestOf([&] { decoded = MediaDesc::itemsWithArchivedData(archive); });
    if (!decoded || decoded->size() != items.size()) {
        std::fprintf(stderr, "archive: the archive did not read back\n");
        return 1;
    }
    std::printf("unarchive_10k: %.1f ms\n", unarchiveMs);
    std::printf("archive_10k_size: %lld bytes\n", static_cast<long long>(archive.size()));

    // The playlist store's whole write: archive, temporary file, flush, rename.
    bool written = true;
    const double writeMs = bestOf([&] {
        written = written &&
                  PlaylistHelper::createPlaylistWithName(QStringLiteral("Bench"), items, false);
    });
    if (!written) {
        std::fprintf(stderr, "archive: the playlist could not be written\n");
        return 1;
    }
    std::printf("playlist_write_10k: %.1f ms\n", writeMs);

    std::fflush(stdout);
    return 0;
}

const BenchRegistration registration("archive", "(10,000 records: keyed archive write and read)",
                                     archiveBench);

} // namespace
