#pragma once

// The seam between the render graph and a sound device. A backend pulls float
// stereo (interleaved, -1 .. 1) from a render function on a thread of its own
// (the render thread) while it is started.
//
// Control calls are made from the main thread, in the order open, then any number
// of start/stop, then close (or destruction, which closes).

#include <functional>
#include <memory>

class AudioOutput {
public:
    // Fills frames interleaved stereo frames. Called on the render thread only
    // between start() and the return of stop(); it must not block. Returns how
    // many of them belong to the stream: fewer than frames when it ended within
    // them (the rest is silence), 0 after its end; or kNotReady when the stream
    // has nothing ready yet (a seek being served): nothing was rendered, and a
    // backend that can wait asks again a little later rather than play silence.
    using RenderFunction = std::function<int(float *stereo, int frames)>;
    static constexpr int kNotReady = -1;

    virtual ~AudioOutput() = default;

    // Opens the device, asking for preferredRate (Hz). Returns the rate the
    // device actually runs at, or 0 when no device could be opened.
    virtual int open(int preferredRate, RenderFunction render) = 0;
    // Starts pulling.
    virtual void start() = 0;
    // Stops pulling (pause). When it returns, the render function is not running
    // and will not be called again before the next start().
    virtual void stop() = 0;
    // Stops and releases the device.
    virtual void close() = 0;
    // True when the device pulls at its own pace, like a sound card, so that the
    // engine must decode ahead of it; false for outputs that pull as fast as the
    // graph renders (benchmarks, tests), which then read the decoder directly.
    virtual bool pullsInRealTime() const { return true; }
    // Queues this open output to be pulled right after current, from the sample
    // where current's stream ends, without a gap: current may be playing, paused
    // or not yet started. False when the backend cannot join the two (then start()
    // it when current has ended). A later start() or stop() of this output
    // cancels the queueing.
    virtual bool startAfter(AudioOutput& current)
    {
        (void)current;
        return false;
    }
    // Whether startAfter() can succeed with this backend.
    virtual bool canStartAfter() const { return false; }
    // Drops what the device holds of this output's stream and has not played yet,
    // so that what the graph renders next (after a seek) is heard at once. For
    // backends that keep a deep buffer; nothing by default.
    virtual void discardQueued() {}
};

// Makes the output an engine plays through.
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
