#pragma once

// The render graph: rate node (source to float stereo at the device rate) ->
// mixer (volume limit) -> equaliser, driven by the output's render callback.
//
// render() runs on the render thread: it never locks, never allocates and never
// touches Qt; it splits the output's request into slices of at most 4096 frames.
// At the end of the stream it rewinds the source to frame 0, outputs silence from
// then on, and calls onEnd once; the main thread calls resume() to play again.
//
// Everything else is main-thread only. The graph is built and destroyed while the
// output does not call render().

#include "audio/EqualiserNode.h"
#include "audio/MixerNode.h"
#include "audio/PcmSource.h"
#include "audio/RateNode.h"

#include <atomic>
#include <functional>

class RenderGraph {
public:
    static constexpr int kMaxSliceFrames = 4096;
    // A source that fails this many slices in a row counts as ended, so that a
    // damaged file cannot play silence for ever.
    static constexpr int kMaxFailedSlices = 64;

    // source outlives the graph. onEnd runs on the render thread (it may only post
    // work elsewhere).
    RenderGraph(PcmSource& source, int deviceRate, std::function<void()> onEnd);
    RenderGraph(const RenderGraph&) = delete;
    RenderGraph& operator=(const RenderGraph&) = delete;

    int deviceRate() const { return m_deviceRate; }
    RateNode& rateNode() { return m_rate; }
    MixerNode& mixer() { return m_mixer; }
    EqualiserNode& equaliser() { return m_equaliser; }

    // Main thread: true from the end of the stream until resume().
    bool atEnd() const { return m_atEnd.load(std::memory_order_acquire); }
    // Main thread: after the end, plays from frame 0 again at the next slice.
    void resume();

    // Render thread: fills frames interleaved stereo float frames. Returns how
    // many of them belong to the stream: all of them until its end, then the
    // frames up to the end, then 0 until resume(); or kNotReady, with nothing
    // rendered, when the source has nothing ready at the start of the buffer (a
    // seek being served). Silence stands in for a source that runs dry later on.
    int render(float *stereo, int frames);
    static constexpr int kNotReady = -1;

private:
    // Frames of the stream in the slice, or kStarvedSlice for a slice of silence
    // because the source had nothing at all.
    int renderSlice(float *stereo, int frames);
    static constexpr int kStarvedSlice = -1;
    void endOfStream();

    PcmSource& m_source;
    const int m_deviceRate;              // immutable
    const std::function<void()> m_onEnd; // immutable
    RateNode m_rate;
    MixerNode m_mixer;
    EqualiserNode m_equaliser;
    std::atomic<bool> m_atEnd{false}; // atomic; set by render, cleared by main
    int m_failedSlices = 0;           // render thread only
};
