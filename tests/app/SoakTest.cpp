// Hundreds of short items played back to back through the real engines and the
// shared SDL device (the dummy driver pulls in real time): the process's resident
// memory and open file descriptors must stay flat.
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "audio/SdlAudioOutput.h"
#include "media/MediaDesc.h"
#include "platform/UserDefaults.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's quarantine and shadow memory grow the resident size on their own.
constexpr bool kMeasureMemory = false;
#else
constexpr bool kMeasureMemory = true;
#endif

namespace {

long residentKb()
{
    long size = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long openDescriptors()
{
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
}

template <typename T> double mean(const std::vector<T>& v, size_t from, size_t to)
{
    return std::accumulate(v.begin() + from, v.begin() + to, 0.0) / double(to - from);
}

} // namespace

TEST(Soak, ThreeHundredItemsWithRepeatAllKeepMemoryAndDescriptorsFlat)
{
    // 100 items of 0.1, 0.15 and 0.2 s at three rates (the device resamples), the
    // list played three times over.
    constexpr int kItems = 100, kTracks = 300, kWindow = 50;
    const int rates[] = {8000, 22050, 44100};
    MediaList items;
    for (int i = 0; i < kItems; ++i) {
        const int rate = rates[i % 3];
        const auto samples =
            EngineTest::tone(220 + 10 * i, 0.3, rate, int64_t(rate * (0.1 + 0.05 * (i % 3))));
        auto item = std::make_shared<MediaDesc>();
        item->filePath = TestEnvironment::writeFile(TestEnvironment::home() +
                                                        QStringLiteral("/music/%1.wav").arg(i),
                                                    EngineTest::wavBytes(samples, rate, 1));
        items.push_back(item);
    }
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems(items));
    Transport transport;
    MainViewController screen(transport);
    ASSERT_EQ(transport.tableContents().size(), kItems);
    transport.repeatButton(); // repeat one
    transport.repeatButton(); // repeat all
    ASSERT_TRUE(transport.repeatAll());
    screen.didSelectRow(0);

    std::vector<long> rss, fds;
    int deviceOpens = -1; // taken once the first track sounds
    for (int track = 1; track <= kTracks; ++track) {
        const int expected = track % kItems;
        ASSERT_TRUE(QTest::qWaitFor([&] { return transport.currentSong() == expected; }, 5000))
            << "track " << track << " never started; at item " << transport.currentSong();
        ASSERT_TRUE(transport.player() && transport.player()->isPlaying()) << "track " << track;
        if (deviceOpens < 0)
            deviceOpens = SdlAudioOutput::deviceOpenCount();
        rss.push_back(residentKb());
        fds.push_back(openDescriptors());
    }

    const double rssFirst = mean(rss, 0, kWindow), rssLast = mean(rss, kTracks - kWindow, kTracks);
    const double fdsFirst = mean(fds, 0, kWindow), fdsLast = mean(fds, kTracks - kWindow, kTracks);
    std::printf("soak_rss_first50: %.0f kB\nsoak_rss_last50: %.0f kB\n"
                "soak_fds_first50: %.1f\nsoak_fds_last50: %.1f\n",
                rssFirst, rssLast, fdsFirst, fdsLast);
    EXPECT_LE(fdsLast, fdsFirst);
    EXPECT_EQ(SdlAudioOutput::deviceOpenCount(), deviceOpens) << "one device for every track";
    if (kMeasureMemory) {
        EXPECT_LE(rssLast, rssFirst + 2048);
    }
}
