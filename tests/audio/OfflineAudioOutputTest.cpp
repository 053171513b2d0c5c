#include "audio/OfflineAudioOutput.h"

#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>

// The fallback output when no device opens: its thread renders no faster than the
// device rate, and stop() returns only after the call in progress has ended (the
// engine behind the callback goes away right after).
TEST(OfflineAudioOutput, RealTimeRendersAtTheDeviceRateAndStopWaitsForTheLastCall)
{
    std::atomic<int64_t> frames{0};
    std::atomic<bool> hold{false}, inside{false}, stopping{false}, stopped{false};
    std::atomic<int> lateCalls{0};
    {
        OfflineAudioOutput out(48000, OfflineAudioOutput::Mode::RealTime);
        EXPECT_EQ(out.open(44100,
                           [&](float *, int n) {
                               frames += n;
                               if (!hold.exchange(false))
                                   return;
                               // Still busy when stop() is called, and a while after.
                               inside = true;
                               const QDeadlineTimer bound(5000);
                               while (!stopping && !bound.hasExpired()) {
                               }
                               const QDeadlineTimer busy(20);
                               while (!busy.hasExpired()) {
                               }
                               if (stopped)
                                   ++lateCalls;
                           }),
                  48000);
        QElapsedTimer timer;
        timer.start();
        out.start();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return frames >= 48000 / 5; }));
        EXPECT_LE(double(frames), double(timer.nsecsElapsed()) / 1e9 * 48000 + 1024);

        hold = true;
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return inside.load(); }));
        stopping = true;
        out.stop();
        stopped = true;
        EXPECT_EQ(frames.load(), out.framesRendered());
    }
    EXPECT_EQ(lateCalls, 0);
}
