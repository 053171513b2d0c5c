// Engine benchmarks:
//   render FILE [--eq NAME] [--rate R] [--volume V] [--keep-pitch]
//     the whole graph on an offline 48 kHz device, as fast as it goes;
//     prints "render: N x" (seconds of source per CPU second), or
//     "render-keep-pitch: N x" with the rate kept at the file's pitch.
//   playcpu FILE SECONDS
//     real-time playback on SDL's dummy driver; prints "playcpu: N s" (CPU used).
#include "BenchRegistry.h"

#include "audio/CAPlayer.h"
#include "audio/CAPlayerDelegate.h"
#include "audio/EQPresets.h"
#include "audio/OfflineAudioOutput.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class EndFlag : public CAPlayerDelegate {
public:
    void playerIsPlaying(bool) override {}
    void playerDidFinishPlaying() override { ended = true; }
    bool ended = false;
};

int render(const QStringList& args)
{
    if (args.isEmpty())
        return 2;
    QString eq;
    float rate = 1.0f, volume = 1.0f;
    bool keepPitch = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep-pitch")) {
            keepPitch = true;
            continue;
        }
        if (i + 1 >= args.size())
            return 2;
        if (args[i] == QLatin1String("--eq"))
            eq = args[++i];
        else if (args[i] == QLatin1String("--rate"))
            rate = args[++i].toFloat();
        else if (args[i] == QLatin1String("--volume"))
            volume = args[++i].toFloat();
        else
            return 2;
    }
    OfflineAudioOutput *output = nullptr;
    CAPlayer player(args.first(), [&output] {
        auto out = std::make_unique<OfflineAudioOutput>(48000);
        output = out.get();
        return out;
    });
    if (!player.isValid()) {
        std::fprintf(stderr, "render: %s\n", qPrintable(player.errorString()));
        return 1;
    }
    EndFlag flag;
    player.setDelegate(&flag);
    player.prepareToPlay();
    if (!eq.isEmpty()) {
        const int index = EQPresets::indexOf(eq);
        if (index < 0) {
            std::fprintf(stderr, "render: no preset named %s\n", qPrintable(eq));
            return 2;
        }
        player.pressetId(index);
    }
    player.keepPitch(keepPitch);
    player.playbackRate(rate);
    player.volumeLimit(volume);

    const double start = cpuSeconds();
    player.play();
    for (int pulls = 0; !flag.ended; ++pulls) {
        output->pull(OfflineAudioOutput::kChunkFrames);
        if (pulls % 16 == 0)
            QCoreApplication::processEvents();
    }
    const double used = cpuSeconds() - start;
    player.setDelegate(nullptr);
    std::printf("%s: %.1f x\n", keepPitch ? "render-keep-pitch" : "render",
                double(player.duration()) / used);
    return 0;
}

int playcpu(const QStringList& args)
{
    if (args.size() != 2)
        return 2;
    qputenv("SDL_AUDIODRIVER", "dummy");
    CAPlayer player(args[0]);
    if (!player.isValid()) {
        std::fprintf(stderr, "playcpu: %s\n", qPrintable(player.errorString()));
        return 1;
    }
    player.prepareToPlay();
    const double start = cpuSeconds();
    player.play();
    QEventLoop loop;
    QTimer::singleShot(int(args[1].toDouble() * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    player.stop();
    std::printf("playcpu: %.3f s\n", cpuSeconds() - start);
    return 0;
}

const BenchRegistration
    renderBench("render", "FILE [--eq NAME] [--rate R] [--volume V] [--keep-pitch]", render);
const BenchRegistration playcpuBench("playcpu", "FILE SECONDS", playcpu);

} // namespace
