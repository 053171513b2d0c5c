#pragma once

// The mixer: one linear gain over float stereo (the volume limit).
//
// The main thread sets the target gain; the render thread moves to it over the
// next slice in a straight line, so that a change never clicks.

#include <atomic>

class MixerNode {
public:
    // Main thread: the gain (linear, the caller keeps it within 0 .. 1).
    void setGain(float gain) { m_target.store(gain, std::memory_order_relaxed); }
    float gain() const { return m_target.load(std::memory_order_relaxed); }

    // Render thread: applies the gain to frames interleaved stereo frames in place.
    void process(float *stereo, int frames);

private:
    std::atomic<float> m_target{1.0f}; // atomic; set by main
    float m_current = 1.0f;            // render thread only
};
