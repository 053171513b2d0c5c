#include "audio/DeviceFeed.h"

#include "audio/SystemVolume.h"

#include <algorithm>
#include <cstring>

namespace {
// How long the glide after a cut lasts.
constexpr int kDeclickFrames = 240; // 5 ms at 48 kHz
} // namespace

bool DeviceFeed::attach(const Render *render)
{
    const Render *before = m_attached.exchange(render, std::memory_order_acq_rel);
    if (m_queued.load(std::memory_order_relaxed) == render)
        m_queued.store(nullptr, std::memory_order_release);
    m_ended.store(false, std::memory_order_release);
    const bool cut = before && before != render;
    if (cut)
        m_cut.store(true, std::memory_order_release);
    return cut;
}

void DeviceFeed::queue(const Render *render)
{
    m_queued.store(render, std::memory_order_release);
}

bool DeviceFeed::detach(const Render *render)
{
    const bool attached = m_attached.load(std::memory_order_acquire) == render;
    if (attached)
        m_attached.store(nullptr, std::memory_order_release);
    if (m_queued.load(std::memory_order_acquire) == render)
        m_queued.store(nullptr, std::memory_order_release);
    return attached;
}

void DeviceFeed::detachAll()
{
    m_attached.store(nullptr, std::memory_order_release);
    m_queued.store(nullptr, std::memory_order_release);
}

bool DeviceFeed::fill(float *samples, int frames, bool applyVolume, bool canWait)
{
    const Render *render = m_attached.load(std::memory_order_acquire);
    if (!render || frames <= 0) {
        std::memset(samples, 0, sizeof(float) * size_t(2 * std::max(frames, 0)));
        m_last[0] = m_last[1] = 0.0f;
        return true;
    }
    int streamed = (*render)(samples, frames);
    if (streamed == AudioOutput::kNotReady) {
        if (canWait)
            return false;
        // This device plays on: silence while the stream gets ready.
        std::memset(samples, 0, sizeof(float) * size_t(2 * frames));
        streamed = frames;
    }
    // The stream ended within this buffer: the queued one goes on from the very
    // next sample.
    while (streamed < frames) {
        const Render *next = m_queued.exchange(nullptr, std::memory_order_acq_rel);
        if (!next) {
            m_ended.store(true, std::memory_order_release);
            break;
        }
        m_attached.store(next, std::memory_order_release);
        const int got = (*next)(samples + 2 * streamed, frames - streamed);
        if (got == AudioOutput::kNotReady)
            std::memset(samples + 2 * streamed, 0, sizeof(float) * size_t(2 * (frames - streamed)));
        streamed = got == AudioOutput::kNotReady ? frames : streamed + got;
    }

    if (applyVolume) {
        const float to = SystemVolume::get();
        const float from = m_gain < 0.0f ? to : m_gain;
        m_gain = to;
        const float step = (to - from) / float(frames);
        if (from != to || to != 1.0f) {
            for (int i = 0; i < frames; ++i) {
                const float g = i + 1 == frames ? to : from + step * float(i + 1);
                samples[2 * i] *= g;
                samples[2 * i + 1] *= g;
            }
        }
    }
    if (m_cut.exchange(false, std::memory_order_acq_rel)) {
        // The step between the old stream's last frame and the new one's first
        // fades out over a few milliseconds instead of sounding as a click.
        const float offset[2] = {m_last[0] - samples[0], m_last[1] - samples[1]};
        const int n = std::min(frames, kDeclickFrames);
        for (int i = 0; i < n; ++i) {
            const float weight = 1.0f - float(i + 1) / float(n);
            samples[2 * i] += offset[0] * weight;
            samples[2 * i + 1] += offset[1] * weight;
        }
    }
    m_last[0] = samples[2 * (frames - 1)];
    m_last[1] = samples[2 * (frames - 1) + 1];
    return true;
}
