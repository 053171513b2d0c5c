#include "audio/OfflineAudioOutput.h"

#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>

// The real-time thread renders no faster than the device rate, the free-running one
// faster than real time; stop() returns only after the call in progress has ended.
TEST(OfflineAudioOutput, ThreadModesPaceTheirCallsAndStopWaitsForTheLastOne)
{
    using Mode = OfflineAudioOutput::Mode;
    for (const Mode mode : {Mode::FreeRunning, Mode::RealTime}) {
        SCOPED_TRACE(mode == Mode::RealTime ? "real time" : "free running");
        std::atomic<int64_t> frames{0};
        std::atomic<bool> hold{false}, inside{false}, stopping{false}, stopped{false};
        std::atomic<int> lateCalls{0};
        {
            OfflineAudioOutput out(48000, mode);
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
            const int64_t target = mode == Mode::RealTime ? 48000 / 5 : 48000 * 5;
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return frames >= target; }));
            const int64_t rendered = frames;
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            if (mode == Mode::RealTime)
                EXPECT_LE(double(rendered), seconds * 48000 + 1024);
            else
                EXPECT_LT(seconds, 1.0);

            hold = true;
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return inside.load(); }));
            stopping = true;
            out.stop();
            stopped = true;
            EXPECT_EQ(frames.load(), out.framesRendered());
        }
        EXPECT_EQ(lateCalls, 0);
    }
}
