// decode FILE: the decoder's throughput, as the render thread reads (4096-frame
//   slices), in seconds of audio per second of process CPU time.
// tags DIR: tags and durations of every file in DIR (not its sub-folders), as the
//   lists compute them, in files per second of wall time.
#include "BenchRegistry.h"

#include "audio/AudioDecoder.h"
#include "media/MediaInfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int decodeBench(const QStringList& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quaver-bench decode FILE\n");
        return 2;
    }
    const double start = processCpuSeconds();
    AudioDecoder decoder;
    if (!decoder.open(args.first())) {
        std::fprintf(stderr, "decode: %s\n", qPrintable(decoder.errorString()));
        return 1;
    }
    constexpr int64_t kSlice = 4096;
    std::vector<int16_t> buffer(size_t(kSlice) * size_t(decoder.channels()));
    int64_t frames = 0;
    for (;;) {
        const int64_t got = decoder.read(buffer.data(), kSlice);
        if (got < 0) {
            std::fprintf(stderr, "decode: read error at frame %lld\n", (long long)frames);
            return 1;
        }
        frames += got;
        if (got < kSlice)
            break;
    }
    const double cpu = processCpuSeconds() - start;
    const double audioSeconds = double(frames) / decoder.sampleRate();
    std::printf("decode: %.1f x\n", cpu > 0 ? audioSeconds / cpu : 0.0);
    std::fprintf(stderr, "decode: %lld frames (%.1f s of audio) in %.3f s CPU\n", (long long)frames,
                 audioSeconds, cpu);
    return 0;
}

int tagsBench(const QStringList& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quaver-bench tags DIR\n");
        return 2;
    }
    const QStringList names = QDir(args.first()).entryList(QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "tags: no files in %s\n", qPrintable(args.first()));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    int tagged = 0;
    int timed = 0;
    for (const QString& name : names) {
        const QString path = args.first() + QLatin1Char('/') + name;
        if (const auto tags = MediaInfo(path).id3Tags(); tags && !tags->isEmpty())
            ++tagged;
        if (MediaInfo::durationForItemAtPath(path))
            ++timed;
    }
    const double seconds = double(timer.nsecsElapsed()) * 1e-9;
    std::printf("tags: %.0f files/s\n", double(names.size()) / seconds);
    std::fprintf(stderr, "tags: %lld files (%d with tags, %d with a duration) in %.3f s\n",
                 (long long)names.size(), tagged, timed, seconds);
    return 0;
}

const BenchRegistration decode("decode", "FILE", decodeBench);
const BenchRegistration tags("tags", "DIR", tagsBench);

} // namespace
