// quaver-bench gap: four generated tones of different formats and rates played
// back to back through the real transport and the shared device, captured by
// SDL's disk driver (which pulls in real time, like a sound card). Prints the
// longest silence between consecutive tones at natural ends (track_gap_max) and
// after Next in the middle of each tone (skip_gap_max), and the largest step
// between neighbouring samples in each (a click shows as a large step).
#include "BenchRegistry.h"

#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "platform/Alert.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double kToneSeconds = 1.0;
// Below this level (-60 dBFS) a sample counts as silent; a tone at -6 dBFS
// passes it only at its zero crossings, for a sample or two.
constexpr float kSilent = 0.001f;

struct Tone {
    const char *name;
    int hz;
    const char *args; // output options for the ffmpeg program
};
// Different codecs, rates and channel counts, each converted by the rate node.
constexpr Tone kTones[] = {{"1.mp3", 440, "-ar 44100 -ac 2"},
                           {"2.m4a", 550, "-ar 48000 -ac 2 -c:a aac"},
                           {"3.wav", 660, "-ar 22050 -ac 1"},
                           {"4.aiff", 770, "-ar 32000 -ac 2"}};

bool makeTones(const QString& dir, QStringList& paths)
{
    for (const Tone& tone : kTones) {
        const QString path = dir + QLatin1Char('/') + QString::fromLatin1(tone.name);
        QStringList args{QStringLiteral("-v"),
                         QStringLiteral("error"),
                         QStringLiteral("-y"),
                         QStringLiteral("-f"),
                         QStringLiteral("lavfi"),
                         QStringLiteral("-i"),
                         QStringLiteral("sine=frequency=%1:duration=%2:sample_rate=48000")
                             .arg(tone.hz)
                             .arg(kToneSeconds),
                         QStringLiteral("-af"),
                         QStringLiteral("volume=0.5")};
        args += QString::fromLatin1(tone.args).split(QLatin1Char(' '));
        args.append(path);
        if (QProcess::execute(QStringLiteral("ffmpeg"), args) != 0) {
            std::fprintf(stderr, "gap: the ffmpeg program could not make %s\n", tone.name);
            return false;
        }
        paths.append(path);
    }
    return true;
}

void runEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Plays the list once on a fresh disk device; pressNextAtMs > 0 presses Next that
// long into each item but the last. Returns the left channel that was captured.
std::vector<float> capture(const QStringList& paths, const QString& raw, int pressNextAtMs)
{
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", raw.toLocal8Bit());
    SDL_AudioQuit();
    SDL_AudioInit("disk");
    {
        Transport transport;
        MainViewController screen(transport);
        bool added = false;
        transport.addCollectionWithItems(paths, false, [&] { added = true; });
        while (!added)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        screen.didSelectRow(0);
        const int last = int(paths.size()) - 1;
        if (pressNextAtMs > 0) {
            for (int i = 0; i < last; ++i) {
                runEventsFor(pressNextAtMs);
                transport.forwardButton();
            }
        }
        // Until the last item has played to its end.
        QElapsedTimer guard;
        guard.start();
        while (!(transport.currentSong() == last && transport.player() &&
                 transport.player()->getTime() >= transport.player()->duration() - 0.01f) &&
               guard.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        runEventsFor(200);
        Alert::dismissAllForTesting();
    }
    SDL_AudioQuit(); // flushes and closes the file
    QFile file(raw);
    std::vector<float> left;
    if (!file.open(QIODevice::ReadOnly))
        return left;
    const QByteArray bytes = file.readAll();
    std::vector<float> stereo(size_t(bytes.size()) / sizeof(float));
    std::memcpy(stereo.data(), bytes.constData(), stereo.size() * sizeof(float));
    for (size_t i = 0; i + 1 < stereo.size(); i += 2)
        left.push_back(stereo[i]);
    return left;
}

// The longest run of silent samples between the first and the last sound, in ms.
double longestGapMs(const std::vector<float>& samples, int rate)
{
    size_t first = 0, last = samples.size();
    while (first < samples.size() && std::fabs(samples[first]) < kSilent)
        ++first;
    while (last > first && std::fabs(samples[last - 1]) < kSilent)
        --last;
    size_t run = 0, longest = 0;
    for (size_t i = first; i < last; ++i) {
        run = std::fabs(samples[i]) < kSilent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return 1000.0 * double(longest) / rate;
}

// The largest step between neighbouring samples: a tone at -6 dBFS below 800 Hz
// steps at most 0.05; a cut between two streams can step up to 1.
double largestStep(const std::vector<float>& samples)
{
    double largest = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        largest = std::max(largest, double(std::fabs(samples[i] - samples[i - 1])));
    return largest;
}

int gapBench(const QStringList&)
{
    QTemporaryDir dir;
    QStringList paths;
    if (!makeTones(dir.path(), paths))
        return 1;
    const QString raw = dir.path() + QStringLiteral("/stream.raw");
    const std::vector<float> natural = capture(paths, raw, 0);
    const std::vector<float> skipped = capture(paths, raw, 500);
    if (natural.empty() || skipped.empty()) {
        std::fprintf(stderr, "gap: nothing was captured\n");
        return 1;
    }
    std::printf("track_gap_max: %.2f ms\n", longestGapMs(natural, 48000));
    std::printf("skip_gap_max: %.2f ms\n", longestGapMs(skipped, 48000));
    std::printf("track_step_max: %.3f full scale\n", largestStep(natural));
    std::printf("skip_step_max: %.3f full scale\n", largestStep(skipped));
    std::printf("captured_natural: %.2f s\n", double(natural.size()) / 48000.0);
    return 0;
}

const BenchRegistration registration("gap", "(four tones back to back; needs ffmpeg)", gapBench);

} // namespace
