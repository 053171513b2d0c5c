#include "audio/DecodeAheadSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// Frames asked of the inner source per read: small enough that a seek is served
// soon, large enough that the decoder's per-call cost stays negligible.
constexpr int64_t kReadFrames = 4096;
// How long the worker rests when the inner source has nothing yet (it answered
// kStarved); a full ring or an ended stream puts it to sleep until woken instead.
constexpr auto kRetry = std::chrono::milliseconds(10);

} // namespace

DecodeAheadSource::DecodeAheadSource(PcmSource& inner, int64_t startFrame, double aheadSeconds)
    : m_inner(inner), m_rate(inner.sampleRate()), m_channels(inner.channels()),
      m_capacity(std::max<int64_t>(int64_t(std::ceil(aheadSeconds * m_rate)), kReadFrames)),
      m_refillMark(m_capacity / 2), m_ring(size_t(m_capacity) * size_t(m_channels)),
      m_position(std::max<int64_t>(startFrame, 0))
{
    m_worker = std::thread([this] { run(); });
}

DecodeAheadSource::~DecodeAheadSource()
{
    m_stop.store(true, std::memory_order_release);
    wakeWorker();
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
    // Sequentially consistent with the worker's announcement that it sleeps: either
    // the worker sees this read and stays up, or this sees it asleep and wakes it.
    m_read.store(read + n, std::memory_order_seq_cst);
    m_position.store(m_position.load(std::memory_order_relaxed) + n, std::memory_order_release);
    if (!ended && available - n < m_refillMark && m_sleeping.exchange(false))
        wakeWorker();
    return n;
}

void DecodeAheadSource::seek(int64_t frame)
{
    frame = std::max<int64_t>(frame, 0);
    m_seekTarget.store(frame, std::memory_order_relaxed);
    m_position.store(frame, std::memory_order_release);
    m_request.store(++m_consumerRequest, std::memory_order_release);
    wakeWorker();
}

void DecodeAheadSource::wakeWorker()
{
    m_wake.fetch_add(1);
    m_wake.notify_one();
}

bool DecodeAheadSource::needsWorker(uint64_t served) const
{
    return m_stop.load() || m_request.load() != served ||
           (!m_ended.load() && m_write.load() - m_read.load() < m_refillMark);
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
        if (fill(failures))
            continue;
        if (!m_ended.load(std::memory_order_relaxed) && bufferedFrames() < m_capacity) {
            std::this_thread::sleep_for(kRetry); // the inner source had nothing yet
            continue;
        }
        // Full or ended: sleep until the consumer drains the ring below the mark, a
        // seek comes, or the owner stops. The announcement comes before the last
        // look, so a wake-up between the two is never lost.
        const uint32_t token = m_wake.load();
        m_sleeping.store(true);
        if (!needsWorker(served))
            m_wake.wait(token);
        m_sleeping.store(false);
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
