#pragma once

// The mixer: linear gain over float stereo, the loudness correction of the file
// (ReplayGain) times the volume limit.
//
// The main thread sets the targets; the render thread moves to their product over
// the next slice in a straight line, so that a change never clicks. With the
// correction at 1 the output is exactly that of the volume limit alone.

#include <atomic>

class MixerNode {
public:
    // Main thread: the gain (linear, the caller keeps it within 0 .. 1).
    void setGain(float gain) { m_target.store(gain, std::memory_order_relaxed); }
    float gain() const { return m_target.load(std::memory_order_relaxed); }
    // Main thread: the loudness correction (linear, > 0). With glide false it is
    // in force from the first frame rendered, with no ramp: only before the
    // output first pulls this graph (a file's gain is then exact from its first
    // sample, also where it follows another without a gap).
    void setReplayGain(float gain, bool glide);
    float replayGain() const { return m_replayGain.load(std::memory_order_relaxed); }

    // Render thread: applies the gain to frames interleaved stereo frames in place.
    void process(float *stereo, int frames);

private:
    std::atomic<float> m_target{1.0f};     // atomic; set by main
    std::atomic<float> m_replayGain{1.0f}; // atomic; set by main
    // Render thread only, once the output pulls; the main thread sets it before.
    float m_current = 1.0f;
};
