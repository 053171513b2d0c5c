#pragma once

// Changes the tempo of interleaved float stereo without changing its pitch
// (SoundTouch's time-domain stretcher, WSOLA). The rate node puts it after the
// resampler when the playback rate keeps the pitch: a tempo of 1.5 plays a
// 440 Hz tone at 440 Hz in two thirds of the time.
//
// SoundTouch (LGPL-2.1) over FFmpeg's atempo and Rubber Band, measured on a
// 440 Hz tone, a four-note chord and synthetic speech at tempo 1.5 and 0.75
// (44.1 kHz stereo, 1024-frame pushes): the tone within 0.05 Hz for both
// SoundTouch and atempo, energy off the chord's notes -22 to -31 dB against
// -23 to -25 dB; output length exact for SoundTouch, up to 0.09 % short for
// atempo; speech spectrum within 0.7-1.1 dB of the original for SoundTouch,
// 1.0-1.3 dB for atempo; 420-700x real time against atempo's 520-1230x. atempo
// allocates a frame for every push and pull, which the render thread must not;
// Rubber Band (GPL-2+) does not fit the program's licence and ran at 16-50x.
//
// Threads: made and destroyed on the main thread, which also primes it, so that
// its buffers have reached the largest size any tempo within 0.5 .. 2.0 needs.
// After that, every other call belongs to the render thread and neither locks
// nor allocates, as long as a single put() is at most kMaxPutFrames.

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

class TempoStretcher {
public:
    static constexpr int kMaxPutFrames = 1024;

    // Main thread: sampleRate in Hz, tempo factor within 0.5 .. 2.0.
    TempoStretcher(int sampleRate, double tempo);
    ~TempoStretcher();
    TempoStretcher(const TempoStretcher&) = delete;
    TempoStretcher& operator=(const TempoStretcher&) = delete;

    // Render thread. The new tempo applies from the next input it processes; what
    // it has already made plays out first, without a gap.
    void setTempo(double tempo);
    double tempo() const { return m_tempo; }
    // Takes frames (at most kMaxPutFrames) of input.
    void put(const float *stereo, int frames);
    // Up to frames frames of output into stereo; returns how many.
    int receive(float *stereo, int frames);
    // After the last put(): up to frames frames of the remaining output, exactly
    // as many as the input owed in all (input frames / tempo); 0 once all given.
    int drain(float *stereo, int frames);
    // Drops everything held (a seek, a restart).
    void clear();
    // Input frames taken in but not yet heard. Output is owed at the tempo each
    // input frame was put with; what comes out pays off the input held in
    // proportion, so that after a tempo change the count follows the new tempo as
    // the older input plays out.
    double heldInputFrames() const { return m_heldIn; }

private:
    void paidOut(int frames);

    std::unique_ptr<soundtouch::SoundTouch> m_touch;
    const std::vector<float> m_silence; // pushed to flush the tail at the end
    double m_tempo = 1.0;
    double m_owedOut = 0; // output frames owed for the input put since clear()
    double m_heldIn = 0;  // input frames those stand for
};
