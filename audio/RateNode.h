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
// With the pitch kept, the resampler converts only the source's rate to the
// device rate and a TempoStretcher after it plays the rate as tempo. The
// stretcher is made (and primed) on the main thread when the switch is first
// turned on and handed over like a resampler; the render thread keeps it until
// the node goes. A rate change then only sets its tempo, so the sound goes on
// without a gap; a seek empties it; at the end of the stream it plays out what it
// holds. Turned off, the node renders exactly as if it had never been on.
//
// Buffers are allocated by the constructor; render() allocates nothing of its own.

#include "audio/PcmSource.h"
#include "audio/RenderMailbox.h"
#include "audio/StereoDownmix.h"
#include "audio/TempoStretcher.h"

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
    // Main thread: whether the rate keeps the pitch (tempo only) or is varispeed
    // (tempo and pitch together, the default). Takes effect at the next slice.
    void setKeepPitch(bool on);
    bool keepPitch() const { return m_keepPitch; }
    // Main thread: the next slice starts at this source frame.
    void seek(int64_t frame);
    // Main thread: the frame of the latest seek not yet carried out, or -1.
    int64_t pendingSeek() const { return m_pendingSeek.load(std::memory_order_acquire); }
    // Main thread: with the pitch kept, the source frames read but not yet heard
    // (staged, in the resampler, in the stretcher) as of the last slice; 0
    // otherwise.
    int64_t heldFrames() const { return m_heldFrames.load(std::memory_order_acquire); }

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
        bool keepPitch = false;
        std::unique_ptr<TempoStretcher> stretcher; // the first one made, else null
    };

    Change makeChange(bool restart, int64_t seekFrame) const;
    void post(Change change);
    void install(Change& change);
    // Stages up to frames source frames; Ok also when the source has just ended.
    Status refill(int frames);
    // Source to device rate, tempo and pitch together.
    Result renderResampled(float *out, int frames);
    // The same followed by the stretcher, which plays the rate as tempo.
    Result renderStretched(float *out, int frames);

    PcmSource& m_source;    // read by the render thread only
    const int m_deviceRate; // immutable
    const StereoDownmix m_downmix;
    double m_rate = 1.0; // main thread only
    // Main thread only.
    bool m_keepPitch = false;
    bool m_stretcherMade = false;
    RenderMailbox<Change> m_mailbox;
    std::atomic<int64_t> m_pendingSeek{-1}; // atomic; set by main, cleared by render
    std::atomic<double> m_tempo{1.0};       // atomic; set by main, read by render
    std::atomic<int64_t> m_heldFrames{0};   // atomic; set by render, read by main

    // Render thread only.
    ResamplerPtr m_resampler;
    double m_ioRatio = 1.0;
    std::vector<int16_t> m_pcm;  // one chunk of source frames
    std::vector<float> m_staged; // the chunk as float stereo
    int m_stagedPos = 0, m_stagedCount = 0;
    bool m_sourceEnded = false;
    std::unique_ptr<TempoStretcher> m_stretcher; // freed with the node
    bool m_stretching = false;
    bool m_stretchInputEnded = false;
    std::vector<float> m_stretchInput; // device-rate frames on their way in
};
