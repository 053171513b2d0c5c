#include "audio/RateNode.h"

#include "support/EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace EngineTest;

// The render thread alone moves the source, at its next slice, to the latest target;
// input buffered in the resampler is dropped.
TEST(RateNode, SeekIsCarriedOutByTheNextSliceTheLatestWinsAndBufferedInputIsDropped)
{
    // A 44.1 kHz file that is silent for its first second and loud after.
    std::vector<int16_t> s(44100 * 2, 0);
    const std::vector<int16_t> loud = tone(1000, 0.5, 44100, 44100);
    std::copy(loud.begin(), loud.end(), s.begin() + 44100);
    MemorySource source(s, 44100, 1);
    RateNode node(source, 48000);
    std::vector<float> buf(2 * 4096);
    node.render(buf.data(), 4096);
    node.seek(44100);
    node.seek(0);
    EXPECT_EQ(node.pendingSeek(), 0);
    const int64_t position = source.position();
    node.render(buf.data(), 4096);
    EXPECT_GT(position, 0) << "not moved before the render thread's slice";
    EXPECT_EQ(node.pendingSeek(), -1);
    EXPECT_EQ(source.seeks(), 1);
    EXPECT_LT(rms(channel(buf, 0)), 1e-6);
    node.seek(44100);
    node.render(buf.data(), 4096);
    // soxr aligns its output with its input, so the tone starts at once.
    EXPECT_NEAR(rms(channel(buf, 0), 200, 4096), 0.5 / std::sqrt(2.0), 0.01);
}

TEST(RateNode, RateChangeMidStreamLosesNoTime)
{
    MemorySource source(tone(1000, 0.5, 48000, 48000 * 2), 48000, 1);
    RateNode node(source, 48000);
    std::vector<float> buf(2 * 4800);
    int64_t frames = 0;
    for (int i = 0; i < 10; ++i) // first second at rate 1
        frames += node.render(buf.data(), 4800).frames;
    node.setRate(2.0);
    int64_t rest = 0;
    for (RateNode::Result r; r.status != RateNode::Status::EndOfStream && rest < 48000;)
        rest += (r = node.render(buf.data(), 4800)).frames;
    // The second second of source at double speed lasts half a second, within
    // what the swap drops from the old resampler.
    EXPECT_EQ(frames, 48000);
    EXPECT_NEAR(double(rest), 24000.0, 300.0);
}
