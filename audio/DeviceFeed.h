#pragma once

// What a shared sound device plays: the output attached to it now, the output
// queued to follow it without a gap, and the program's own volume applied last.
// Each device backend (SDL, PulseAudio) keeps one and calls fill() from its
// device thread for every buffer the device asks for.
//
// Threads: the attach calls are made on the main thread while the backend holds
// the lock it also holds around fill(), so an output detached under that lock is
// never called again. fill() runs on the device thread only; it never locks or
// allocates.

#include "audio/AudioOutput.h"

#include <atomic>

class DeviceFeed {
public:
    using Render = AudioOutput::RenderFunction;

    // Under the backend's lock. Makes render the one the device plays; true when
    // another was cut off mid-stream (the next buffer then glides from its last
    // frame instead of clicking).
    bool attach(const Render *render);
    // Under the backend's lock. render follows the attached one at the end of its
    // stream; replaces any render queued before.
    void queue(const Render *render);
    // Under the backend's lock. Detaches render wherever it is; true when it was
    // the attached one.
    bool detach(const Render *render);
    // Under the backend's lock, or while no fill() can run: detaches everything.
    void detachAll();
    // Whether a render is attached.
    bool playing() const { return m_attached.load(std::memory_order_acquire) != nullptr; }
    // Whether the attached render's stream has ended (it rendered fewer frames than
    // asked and nothing was queued), so that the device holds only its tail.
    bool ended() const { return m_ended.load(std::memory_order_acquire); }

    // Device thread. Fills frames interleaved stereo frames: the attached stream,
    // the queued one from the sample where it ends, silence after. applyVolume
    // scales by SystemVolume (a change glides over the buffer); a backend whose
    // server applies the volume itself passes false. When the attached stream
    // has nothing ready yet (a seek being served), a backend that canWait gets
    // false and nothing to write; others get silence.
    bool fill(float *stereo, int frames, bool applyVolume, bool canWait = false);

private:
    std::atomic<const Render *> m_attached{nullptr};
    std::atomic<const Render *> m_queued{nullptr};
    std::atomic<bool> m_cut{false};
    std::atomic<bool> m_ended{false};
    float m_gain = -1.0f;           // device thread: the volume last applied; < 0 none yet
    float m_last[2] = {0.0f, 0.0f}; // device thread: the last frame written
};
