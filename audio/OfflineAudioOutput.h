#pragma once

// An ideal output without a sound card: for tests, benchmarks and as the last
// resort when no device opens.
//
// Modes:
//  - Manual: nothing renders until the owner calls pull(), which renders on the
//    calling thread (that thread is then the render thread).
//  - FreeRunning: a thread of its own pulls as fast as it can while started.
//  - RealTime: a thread of its own pulls at the device rate, like a sound card.
// With capture on, every rendered sample is kept in memory (this allocates on
// the render thread; tests and benchmarks only).

#include "audio/AudioOutput.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

class OfflineAudioOutput : public AudioOutput {
public:
    enum class Mode { Manual, FreeRunning, RealTime };
    static constexpr int kChunkFrames = 4096; // frames per render call

    // deviceRate 0: the device runs at whatever rate open() asks for.
    explicit OfflineAudioOutput(int deviceRate = 0, Mode mode = Mode::Manual);
    ~OfflineAudioOutput() override;

    int open(int preferredRate, RenderFunction render) override;
    void start() override;
    void stop() override;
    void close() override;
    bool pullsInRealTime() const override { return m_mode == Mode::RealTime; }

    // Manual mode, main thread: renders frames frames now if started (in calls of
    // at most kChunkFrames). Returns the frames rendered: 0 when stopped.
    int64_t pull(int64_t frames);

    // Main thread, before start(): keep what is rendered.
    void setCapture(bool capture) { m_capture = capture; }
    // Main thread, while stopped (or in Manual mode): the kept samples,
    // interleaved stereo; takeCaptured() also empties the store.
    const std::vector<float>& captured() const { return m_captured; }
    std::vector<float> takeCaptured();

    bool isOpen() const { return m_rate != 0; }
    bool isStarted() const { return m_started.load(std::memory_order_acquire); }
    int sampleRate() const { return m_rate; }
    // Frames rendered since open (atomic).
    int64_t framesRendered() const { return m_framesRendered.load(std::memory_order_relaxed); }

private:
    void renderChunk(int frames);
    void run();

    const int m_fixedRate;              // immutable
    const Mode m_mode;                  // immutable
    int m_rate = 0;                     // main thread; immutable while open
    RenderFunction m_render;            // immutable while open
    bool m_capture = false;             // main thread; read by the render thread while started
    std::vector<float> m_buffer;        // render thread (or the puller)
    std::vector<float> m_captured;      // render thread while started, main thread while stopped
    std::atomic<bool> m_started{false}; // atomic
    std::atomic<int64_t> m_framesRendered{0}; // atomic
    std::thread m_thread;                     // main thread only
};
