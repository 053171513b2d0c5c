#include "audio/DecodeAheadSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// Frames asked of the inner source per read: small enough that a seek is served
// soon, large enough that the decoder's per-call cost stays negligible.
constexpr int64_t kReadFrames = 4096;
// How long the worker rests when the ring is full or the stream has ended. A
// seek waits at most this long before the worker sees it.
constexpr auto kIdle = std::chrono::milliseconds(3);

} // namespace

DecodeAheadSource::DecodeAheadSource(PcmSource& inner, int64_t startFrame, double aheadSeconds)
    : m_inner(inner), m_rate(inner.sampleRate()), m_channels(inner.channels()),
      m_capacity(std::max<int64_t>(int64_t(std::ceil(aheadSeconds * m_rate)), kReadFrames)),
      m_ring(size_t(m_capacity) * size_t(m_channels)), m_position(std::max<int64_t>(startFrame, 0))
{
    m_worker = std::thread([this] { run(); });
}

DecodeAheadSource::~DecodeAheadSource()
{
    m_stop.store(true, std::memory_order_release);
    m_worker.join();
}

int64_t DecodeAheadSource::bufferedFrames() const
{
    return m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire);
}

int64_t DecodeAheadSource::read(int16_t *out, int64_t frames)
{
    if (m_done.load(std::memory_order_acquire) != m_consumerRequest)
        return kStarved; // the worker has not served the latest seek yet
    // The end flag is read before the write index: frames written before the end
    // was flagged are then always seen.
    const bool ended = m_ended.load(std::memory_order_acquire);
    const int64_t read = m_read.load(std::memory_order_relaxed);
    const int64_t available = m_write.load(std::memory_order_acquire) - read;
    if (available <= 0)
        return ended ? 0 : kStarved;
    const int64_t n = std::min(frames, available);
    const int64_t slot = read % m_capacity;
    const int64_t first = std::min(n, m_capacity - slot);
    const size_t frameBytes = sizeof(int16_t) * size_t(m_channels);
    std::memcpy(out, m_ring.data() + slot * m_channels, frameBytes * size_t(first));
    if (n > first)
        std::memcpy(out + first * m_channels, m_ring.data(), frameBytes * size_t(n - first));
    m_read.store(read + n, std::memory_order_release);
    m_position.store(m_position.load(std::memory_order_relaxed) + n, std::memory_order_release);
    return n;
}

void DecodeAheadSource::seek(int64_t frame)
{
    frame = std::max<int64_t>(frame, 0);
    m_seekTarget.store(frame, std::memory_order_relaxed);
    m_position.store(frame, std::memory_order_release);
    m_request.store(++m_consumerRequest, std::memory_order_release);
}

void DecodeAheadSource::run()
{
    uint64_t served = 0;
    int failures = 0;
    while (!m_stop.load(std::memory_order_acquire)) {
        const uint64_t request = m_request.load(std::memory_order_acquire);
        if (request != served) {
            restart(request);
            served = request;
            failures = 0;
            continue;
        }
        if (!fill(failures))
            std::this_thread::sleep_for(kIdle);
    }
}

void DecodeAheadSource::restart(uint64_t generation)
{
    // The consumer reads nothing until m_done matches its request, so the worker
    // may reset both indices here.
    m_inner.seek(m_seekTarget.load(std::memory_order_relaxed));
    m_ended.store(false, std::memory_order_relaxed);
    m_read.store(0, std::memory_order_relaxed);
    m_write.store(0, std::memory_order_relaxed);
    m_done.store(generation, std::memory_order_release);
}

bool DecodeAheadSource::fill(int& failures)
{
    if (m_ended.load(std::memory_order_relaxed))
        return false;
    const int64_t write = m_write.load(std::memory_order_relaxed);
    const int64_t space = m_capacity - (write - m_read.load(std::memory_order_acquire));
    if (space <= 0)
        return false;
    const int64_t slot = write % m_capacity;
    const int64_t want = std::min({space, m_capacity - slot, kReadFrames});
    const int64_t got = m_inner.read(m_ring.data() + slot * m_channels, want);
    if (got > 0) {
        failures = 0;
        m_write.store(write + got, std::memory_order_release);
        return true;
    }
    if (got == 0 || ++failures >= kMaxFailedReads) {
        m_ended.store(true, std::memory_order_release);
        return true;
    }
    return got != kStarved;
}
