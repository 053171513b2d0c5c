#include "audio/RenderGraph.h"

#include "support/EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace EngineTest;

TEST(RenderGraph, EndOfStreamRewindsTellsOnceAndThenOutputsSilence)
{
    MemorySource source(tone(1000, 0.5, 48000, 10000, 2), 48000, 2);
    int ends = 0;
    RenderGraph graph(source, 48000, [&] { ++ends; });
    // Requests longer than a slice: each slice lands after the one before.
    std::vector<float> buf(2 * 6000, 1.0f);
    graph.render(buf.data(), 6000);
    EXPECT_EQ(ends, 0);
    graph.render(buf.data(), 6000); // 4000 frames left
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(graph.atEnd());
    EXPECT_EQ(source.position(), 0) << "rewound";
    EXPECT_GT(rms(buf, 0, 8000), 0.3);
    EXPECT_EQ(rms(buf, 8000, 12000), 0.0) << "the rest of the last slice is silence";
    std::fill(buf.begin(), buf.end(), 1.0f);
    graph.render(buf.data(), 6000);
    EXPECT_EQ(rms(buf), 0.0) << "silence until resumed";
    EXPECT_EQ(ends, 1);

    graph.resume();
    EXPECT_FALSE(graph.atEnd());
    graph.render(buf.data(), 100);
    EXPECT_EQ(buf[2], float(tone(1000, 0.5, 48000, 2, 2)[2]) / 32768.0f) << "from the start";
    EXPECT_EQ(source.position(), 100);
}

TEST(RenderGraph, ASourceThatKeepsFailingEndsAfterABoundedNumberOfSlices)
{
    MemorySource source(tone(1000, 0.5, 48000, 48000), 48000, 1);
    int ends = 0;
    RenderGraph graph(source, 48000, [&] { ++ends; });
    std::vector<float> buf(2 * 256);
    source.failNextReads(3);
    for (int i = 0; i < 3; ++i)
        graph.render(buf.data(), 256);
    EXPECT_EQ(ends, 0) << "a passing error is skipped";
    graph.render(buf.data(), 256);
    EXPECT_GT(rms(buf), 0.1);
    source.failNextReads(1'000'000);
    for (int i = 0; i < RenderGraph::kMaxFailedSlices; ++i)
        graph.render(buf.data(), 256);
    EXPECT_EQ(ends, 1);
}

TEST(RenderGraph, VolumeChangesRampOverOneSliceAndThenHold)
{
    std::vector<int16_t> dc(48000, 16384);
    MemorySource source(dc, 48000, 1);
    RenderGraph graph(source, 48000, {});
    std::vector<float> buf(2 * 1000);
    graph.render(buf.data(), 1000);
    EXPECT_EQ(buf[0], 0.5f);
    graph.mixer().setGain(0.5f);
    graph.render(buf.data(), 1000);
    // No jump: the first frame is still almost at the old gain.
    EXPECT_NEAR(buf[0], 0.5f, 0.001f);
    EXPECT_NEAR(buf[2 * 999], 0.25f, 1e-6f);
    for (size_t i = 2; i < buf.size(); i += 2)
        ASSERT_LE(buf[i], buf[i - 2]);
    graph.render(buf.data(), 1000);
    for (float v : buf)
        ASSERT_EQ(v, 0.25f);
}
