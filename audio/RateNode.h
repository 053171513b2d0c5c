#pragma once

// First node of the render graph: pulls 16-bit PCM from the source, converts it
// to float stereo (StereoDownmix) and resamples it from the source's rate times
// the playback rate to the device rate with libsoxr (HQ, fixed ratio). When the
// two rates are equal the samples pass through untouched.
//
// A rate change or a seek is a request from the main thread: it prepares a fresh
// resampler there and the render thread swaps it in at the start of its next
// slice; the replaced resampler is freed on the main thread later. A seek drops
// whatever input was buffered and moves the source at that same slice boundary.
//
// Buffers are allocated by the constructor; render() allocates nothing of its own.

#include "audio/PcmSource.h"
#include "audio/RenderMailbox.h"
#include "audio/StereoDownmix.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

class RateNode {
public:
    // Main thread. source must outlive the node; deviceRate in Hz.
    RateNode(PcmSource& source, int deviceRate);
    ~RateNode();
    RateNode(const RateNode&) = delete;
    RateNode& operator=(const RateNode&) = delete;

    // Main thread: the playback rate factor (the caller keeps it within
    // 0.5 .. 2.0). Setting the current rate again does nothing.
    void setRate(double rate);
    double rate() const { return m_rate; }
    // Main thread: the next slice starts at this source frame.
    void seek(int64_t frame);
    // Main thread: the frame of the latest seek not yet carried out, or -1.
    int64_t pendingSeek() const { return m_pendingSeek.load(std::memory_order_acquire); }

    enum class Status {
        Ok,          // frames produced in full
        EndOfStream, // the source has ended and everything buffered has been played
        Error,       // the source failed to read; a later slice may succeed
        Starved,     // the source has nothing ready yet; the stream goes on
    };
    struct Result {
        int frames = 0; // stereo frames written to out
        Status status = Status::Ok;
    };
    // Render thread: up to frames stereo frames into out.
    Result render(float *out, int frames);

private:
    struct Resampler {
        void operator()(soxr *s) const;
    };
    using ResamplerPtr = std::unique_ptr<soxr, Resampler>;
    struct Change {
        ResamplerPtr resampler; // null: pass-through
        double ioRatio = 1.0;   // source frames per device frame
        bool restart = false;   // drop buffered input (a seek)
        int64_t seekFrame = -1; // source frame to move to, or -1
    };

    Change makeChange(bool restart, int64_t seekFrame) const;
    void install(Change& change);
    // Stages up to frames source frames; Ok also when the source has just ended.
    Status refill(int frames);

    PcmSource& m_source;    // read by the render thread only
    const int m_deviceRate; // immutable
    const StereoDownmix m_downmix;
    double m_rate = 1.0; // main thread only
    RenderMailbox<Change> m_mailbox;
    std::atomic<int64_t> m_pendingSeek{-1}; // atomic; set by main, cleared by render

    // Render thread only.
    ResamplerPtr m_resampler;
    double m_ioRatio = 1.0;
    std::vector<int16_t> m_pcm;  // one chunk of source frames
    std::vector<float> m_staged; // the chunk as float stereo
    int m_stagedPos = 0, m_stagedCount = 0;
    bool m_sourceEnded = false;
};
