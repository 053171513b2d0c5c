#include "audio/OfflineAudioOutput.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

TEST(OfflineAudioOutput, ThreadModesStopCallingWhenStopReturns)
{
    for (auto mode : {OfflineAudioOutput::Mode::FreeRunning, OfflineAudioOutput::Mode::RealTime}) {
        OfflineAudioOutput out(48000, mode);
        std::atomic<int64_t> frames{0};
        EXPECT_EQ(out.open(44100, [&](float *, int n) { frames += n; }), 48000);
        out.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        out.stop();
        const int64_t atStop = frames.load();
        EXPECT_EQ(atStop, out.framesRendered());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(frames.load(), atStop);
        if (mode == OfflineAudioOutput::Mode::RealTime) {
            EXPECT_GT(atStop, 48000 / 10);
            EXPECT_LT(atStop, 48000 / 2);
        } else {
            EXPECT_GT(atStop, 48000);
        }
    }
}
