// quaver-bench append DIR: adding every file of DIR to the current list, as the
// browser's "Play" does, with a watchdog on the main thread. An empty or missing
// DIR is first filled with 100,000 hard links to short WAV files (kept for later
// runs).
// quaver-bench startup: start-up with a stored list of 10,000 and of 100,000
// items until the window has been painted, and the peak resident memory of the
// start alone.
#include "BenchRegistry.h"
#include "StallWatchdog.h"

#include "app/AppDelegate.h"
#include "app/CurrentList.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QtEndian>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int kAppendFiles = 100000;

// Peak resident memory of this process so far (VmHWM), in MB; -1 when unknown.
long long peakResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() / 1024;
    return -1;
}

// Returns what the preparation of a benchmark freed to the system and restarts
// the peak from the memory held now, so that the peak is the measured part's.
void restartPeak()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        std::fprintf(stderr, "quaver-bench: the peak memory cannot be restarted\n");
}

// A tenth of a second of 8 kHz mono silence.
QByteArray shortWav()
{
    const quint32 dataBytes = 1600;
    QByteArray wav(44, '\0');
    char *h = wav.data();
    memcpy(h, "RIFF", 4);
    qToLittleEndian<quint32>(36 + dataBytes, h + 4);
    memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20); // PCM
    qToLittleEndian<quint16>(1, h + 22); // mono
    qToLittleEndian<quint32>(8000, h + 24);
    qToLittleEndian<quint32>(16000, h + 28);
    qToLittleEndian<quint16>(2, h + 32);
    qToLittleEndian<quint16>(16, h + 34);
    memcpy(h + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, h + 40);
    return wav + QByteArray(dataBytes, '\0');
}

// File systems bound the links to one file (ext4: 65,000), so every 50,000th
// file is written and the next ones link to it.
bool fillFolder(const QDir& dir)
{
    if (!QDir().mkpath(dir.path()))
        return false;
    const QByteArray wav = shortWav();
    QByteArray target;
    for (int i = 0; i < kAppendFiles; ++i) {
        const QString path =
            dir.absoluteFilePath(QStringLiteral("%1.wav").arg(i, 6, 10, QLatin1Char('0')));
        if (i % 50000 == 0) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(wav) != wav.size())
                return false;
            target = QFile::encodeName(path);
        } else if (::link(target.constData(), QFile::encodeName(path).constData()) != 0) {
            return false;
        }
    }
    return true;
}

int appendBench(const QStringList& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quaver-bench append DIR\n");
        return 2;
    }
    const QDir dir(args.first());
    if (dir.isEmpty() && !fillFolder(dir)) {
        std::fprintf(stderr, "quaver-bench: cannot fill %s\n", qPrintable(dir.path()));
        return 1;
    }
    QStringList paths;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        paths.append(dir.absoluteFilePath(name));

    Transport transport;
    MainViewController screen(transport);
    StallWatchdog watchdog;
    restartPeak();

    bool done = false;
    QElapsedTimer timer;
    timer.start();
    watchdog.start();
    transport.addCollectionWithItems(paths, true, [&] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = timer.elapsed();
    watchdog.stop();
    transport.currentList()->waitForStores();
    Alert::dismissAllForTesting();
    std::printf("append_%lld: %lld ms\n", static_cast<long long>(paths.size()),
                static_cast<long long>(elapsed));
    std::printf("main_thread_max_stall: %lld ms\n", watchdog.maxStallMs());
    std::printf("append_%lld_peak_resident: %lld MB\n", static_cast<long long>(paths.size()),
                peakResidentMb());
    return 0;
}

void storeList(int count)
{
    MediaList items;
    for (int i = 0; i < count; ++i) {
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
}

// One start in this process; a second would find the first one's memory.
int startupRun(int count)
{
    storeList(count);
    restartPeak();
    QElapsedTimer timer;
    timer.start();
    {
        AppDelegate delegate;
        delegate.didFinishLaunching({});
        delegate.viewController()->animatePlaylist(); // the list is on screen
        delegate.window()->grab();                    // one full paint
        std::printf("startup_%dk: %lld ms\n", count / 1000,
                    static_cast<long long>(timer.elapsed()));
        std::printf("startup_%dk_peak_resident: %lld MB\n", count / 1000, peakResidentMb());
        timer.restart();
    }
    std::printf("startup_%dk_exit: %lld ms\n", count / 1000,
                static_cast<long long>(timer.elapsed()));
    return 0;
}

int startupBench(const QStringList& args)
{
    if (!args.isEmpty())
        return startupRun(args.first().toInt());
    int status = 0;
    for (const char *count : {"10000", "100000"}) {
        std::fflush(stdout);
        const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray command = "'" + self + "' startup " + count;
        status |= std::system(command.constData());
    }
    return status == 0 ? 0 : 1;
}

const BenchRegistration
    append("append", "DIR (add every file of DIR to the list; fills an empty DIR)", appendBench);
const BenchRegistration
    startup("startup", "[COUNT] (start with a stored list of 10,000 and 100,000 items, or COUNT)",
            startupBench);

} // namespace
