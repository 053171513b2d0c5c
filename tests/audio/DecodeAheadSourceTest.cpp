#include "audio/DecodeAheadSource.h"
#include "audio/RenderGraph.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;

// Mono frames whose value is their own frame number (mod 2^15), so that any lost,
// repeated or stale frame shows. Stalls once when it reaches stallAt, and fails
// every read when broken.
class CountingSource : public PcmSource {
public:
    CountingSource(int64_t length, int64_t stallAt = -1, int stallMs = 0)
        : m_length(length), m_stallAt(stallAt), m_stallMs(stallMs)
    {}
    int sampleRate() const override { return kRate; }
    int channels() const override { return 1; }
    int64_t read(int16_t *out, int64_t frames) override
    {
        if (broken)
            return -1;
        if (m_stallAt >= 0 && m_position <= m_stallAt && m_position + frames > m_stallAt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_stallMs));
            m_stallAt = -1;
        }
        const int64_t n = std::min(frames, m_length - m_position);
        for (int64_t i = 0; i < n; ++i)
            out[i] = int16_t((m_position + i) & 0x7fff);
        m_position += n;
        return n;
    }
    void seek(int64_t frame) override { m_position = std::min(frame, m_length); }
    std::atomic<bool> broken{false};

private:
    const int64_t m_length;
    int64_t m_position = 0;
    int64_t m_stallAt;
    const int m_stallMs;
};

// Reads until something other than kStarved comes, for at most a second.
int64_t readServed(DecodeAheadSource& source, int16_t *out, int64_t frames)
{
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    int64_t got = PcmSource::kStarved;
    while ((got = source.read(out, frames)) == PcmSource::kStarved && Clock::now() < deadline)
        std::this_thread::yield();
    return got;
}

} // namespace

// Pulled like a sound card (480 frames every 10 ms), a source that stalls for
// 300 ms in the middle never leaves the reader without frames, and every frame
// arrives once, in order, across the ring's wrap-around, until the end.
TEST(DecodeAheadSource, AStallingSourceNeverStarvesARealTimeReader)
{
    const int64_t length = kRate * 6 / 5;
    CountingSource inner(length, kRate * 2 / 5, 300);
    DecodeAheadSource source(inner, 0, 0.6);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (source.bufferedFrames() < kRate / 2 && Clock::now() < deadline)
        std::this_thread::yield(); // an engine is prepared before it plays
    int16_t block[480];
    int64_t expected = 0;
    auto tick = Clock::now();
    while (expected < length) {
        tick += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(tick);
        const int64_t got = source.read(block, 480);
        ASSERT_GT(got, 0) << "at frame " << expected;
        for (int64_t i = 0; i < got; ++i, ++expected)
            ASSERT_EQ(block[i], int16_t(expected & 0x7fff)) << "frame " << expected;
    }
    EXPECT_EQ(readServed(source, block, 480), 0) << "the end follows the last frame";
}

// A seek is served from its target: the position says so at once, stale frames
// never come, and a seek near the end gives the last frames, then the end. A
// source that only fails ends instead of keeping the worker busy.
TEST(DecodeAheadSource, SeeksServeTheirTargetAndFailuresEnd)
{
    CountingSource inner(kRate);
    DecodeAheadSource source(inner, 0);
    int16_t block[64];
    ASSERT_EQ(readServed(source, block, 64), 64);
    for (const int64_t target : {int64_t(1000), int64_t(20), int64_t(kRate - 10)}) {
        source.seek(target);
        EXPECT_EQ(source.position(), target);
        ASSERT_GT(readServed(source, block, 64), 0);
        EXPECT_EQ(block[0], int16_t(target & 0x7fff));
    }
    EXPECT_EQ(source.position(), kRate);
    EXPECT_EQ(readServed(source, block, 64), 0);

    inner.broken = true;
    source.seek(0);
    EXPECT_EQ(readServed(source, block, 64), 0);
}

// A render at the start of a buffer while a seek is being decoded has nothing
// ready, and says so rather than rendering silence, so that an output holding a
// deep buffer waits instead of queueing the silence before the sound.
TEST(DecodeAheadSource, ARenderWhileASeekIsDecodedIsNotReady)
{
    CountingSource inner(10 * kRate, 5 * kRate, 300); // the seek's region reads slowly
    DecodeAheadSource source(inner, 0);
    RenderGraph graph(source, kRate, {});
    float out[2 * 256];
    const auto renderWhenReady = [&] {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        int got = RenderGraph::kNotReady;
        while ((got = graph.render(out, 256)) == RenderGraph::kNotReady && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return got;
    };
    ASSERT_EQ(renderWhenReady(), 256);
    graph.rateNode().seek(5 * kRate);
    EXPECT_EQ(graph.render(out, 256), RenderGraph::kNotReady);
    EXPECT_EQ(renderWhenReady(), 256);
    EXPECT_NE(out[2 * 255], 0.0f) << "the sound from the seek's target, not silence";
}

// Once the ring is full, or the stream has ended, the worker sleeps instead of
// looking again every few milliseconds: the whole process switches context only a
// handful of times in 300 ms.
TEST(DecodeAheadSource, TheWorkerSleepsWhileTheRingIsFullOrTheStreamHasEnded)
{
    const auto switchesDuring300ms = [] {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        getrusage(RUSAGE_SELF, &after);
        return (after.ru_nvcsw + after.ru_nivcsw) - (before.ru_nvcsw + before.ru_nivcsw);
    };
    CountingSource inner(kRate * 10);
    DecodeAheadSource full(inner, 0, 0.5);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (full.bufferedFrames() < full.capacityFrames() && Clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_LT(switchesDuring300ms(), 10);

    CountingSource shortInner(64);
    DecodeAheadSource ended(shortInner, 0);
    int16_t block[64];
    ASSERT_EQ(readServed(ended, block, 64), 64);
    ASSERT_EQ(readServed(ended, block, 64), 0);
    EXPECT_LT(switchesDuring300ms(), 10);
}
