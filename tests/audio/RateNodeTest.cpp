#include "audio/RateNode.h"

#include "support/EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

struct Rendered {
    std::vector<float> stereo;
    RateNode::Status last = RateNode::Status::Ok;
    int endings = 0;
};

// Renders until the end of the stream (or maxFrames), in slices of sliceFrames.
Rendered renderAll(RateNode& node, int sliceFrames = 4096, int64_t maxFrames = 10'000'000)
{
    Rendered r;
    std::vector<float> buf(size_t(sliceFrames) * 2);
    while (int64_t(r.stereo.size() / 2) < maxFrames) {
        const RateNode::Result res = node.render(buf.data(), sliceFrames);
        r.stereo.insert(r.stereo.end(), buf.begin(), buf.begin() + 2 * res.frames);
        r.last = res.status;
        if (res.status == RateNode::Status::EndOfStream) {
            ++r.endings;
            break;
        }
    }
    return r;
}

} // namespace

TEST(RateNode, ResamplingKeepsPitchAndLength)
{
    // 1 s of 1 kHz at 44.1 kHz played on a 48 kHz device.
    MemorySource source(tone(1000, 0.5, 44100, 44100), 44100, 1);
    RateNode node(source, 48000);
    const Rendered r = renderAll(node, 1000);
    EXPECT_EQ(r.endings, 1);
    EXPECT_NEAR(double(r.stereo.size() / 2), 48000.0, 2.0);
    const std::vector<float> left = channel(r.stereo, 0);
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, 43200), 1000.0, 0.5);
    EXPECT_NEAR(rms(left, 4800, 43200), 0.5 / std::sqrt(2.0), 0.005);
    EXPECT_EQ(r.stereo, [&] {
        std::vector<float> both(r.stereo.size());
        for (size_t i = 0; i < left.size(); ++i)
            both[2 * i] = both[2 * i + 1] = left[i];
        return both;
    }()) << "mono reaches both sides";
}

TEST(RateNode, SeekIsCarriedOutByTheNextSliceAndTheLatestWins)
{
    std::vector<int16_t> ramp(48000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i % 30000);
    MemorySource source(ramp, 48000, 1);
    RateNode node(source, 48000);
    std::vector<float> buf(2 * 256);
    node.render(buf.data(), 256);
    node.seek(100);
    node.seek(36000);
    EXPECT_EQ(node.pendingSeek(), 36000);
    EXPECT_EQ(source.position(), 256) << "the source is moved by the render thread only";
    node.render(buf.data(), 256);
    EXPECT_EQ(node.pendingSeek(), -1);
    EXPECT_EQ(buf[0], float(36000 % 30000) / 32768.0f);
    EXPECT_EQ(source.seeks(), 1);
}

TEST(RateNode, SeekWhileResamplingDropsBufferedInput)
{
    // A 44.1 kHz file that is silent for its first second and loud after.
    std::vector<int16_t> s(44100 * 2, 0);
    const std::vector<int16_t> loud = tone(1000, 0.5, 44100, 44100);
    std::copy(loud.begin(), loud.end(), s.begin() + 44100);
    MemorySource source(s, 44100, 1);
    RateNode node(source, 48000);
    std::vector<float> buf(2 * 4096);
    node.render(buf.data(), 4096);
    node.seek(0);
    node.render(buf.data(), 4096);
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
    const Rendered rest = renderAll(node, 4800);
    // The second second of source at double speed lasts half a second, within
    // what the swap drops from the old resampler.
    EXPECT_EQ(frames, 48000);
    EXPECT_NEAR(double(rest.stereo.size() / 2), 24000.0, 300.0);
}

TEST(RateNode, SourceErrorsAreReportedAndPlayingGoesOn)
{
    MemorySource source(tone(1000, 0.5, 48000, 4800), 48000, 1);
    RateNode node(source, 48000);
    std::vector<float> buf(2 * 1000);
    source.failNextReads(1);
    const RateNode::Result failed = node.render(buf.data(), 1000);
    EXPECT_EQ(failed.status, RateNode::Status::Error);
    EXPECT_EQ(failed.frames, 0);
    const Rendered r = renderAll(node, 1000);
    EXPECT_EQ(r.stereo.size() / 2, 4800u);
}

TEST(RateNode, EmptySourceEndsAtOnce)
{
    for (int rate : {48000, 44100}) {
        MemorySource source({}, rate, 2);
        RateNode node(source, 48000);
        std::vector<float> buf(2 * 512);
        const RateNode::Result r = node.render(buf.data(), 512);
        EXPECT_EQ(r.status, RateNode::Status::EndOfStream);
        EXPECT_EQ(r.frames, 0);
    }
}
