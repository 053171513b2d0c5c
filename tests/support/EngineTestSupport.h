#pragma once

// Signals and measurements shared by the engine's tests.

#include "audio/CAPlayerDelegate.h"
#include "audio/PcmSource.h"

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <vector>

namespace EngineTest {

// Interleaved 16-bit samples of a sine (same on every channel) of amplitude
// (0 .. 1) lasting frames frames.
std::vector<int16_t> tone(double hz, double amplitude, int sampleRate, int64_t frames,
                          int channels = 1);

// A WAV file (PCM 16-bit) of the given interleaved samples.
QByteArray wavBytes(const std::vector<int16_t>& samples, int sampleRate, int channels);

// Samples of one channel (0 left, 1 right) of interleaved stereo float.
std::vector<float> channel(const std::vector<float>& stereo, int which);
// Root mean square of samples [from, to).
double rms(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX);
// Amplitude of the component at hz in samples [from, to) (Goertzel).
double toneAmplitude(const std::vector<float>& samples, double hz, int sampleRate, size_t from,
                     size_t to);
// Frequency from rising zero crossings over samples [from, to).
double zeroCrossingHz(const std::vector<float>& samples, int sampleRate, size_t from, size_t to);

// A PcmSource over samples in memory, with scripted read failures.
class MemorySource : public PcmSource {
public:
    MemorySource(std::vector<int16_t> samples, int sampleRate, int channels)
        : m_samples(std::move(samples)), m_rate(sampleRate), m_channels(channels)
    {}
    int sampleRate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    int64_t read(int16_t *out, int64_t frames) override;
    void seek(int64_t frame) override;

    int64_t position() const { return m_position; }
    int64_t totalFrames() const { return int64_t(m_samples.size()) / m_channels; }
    // The next count reads fail with -1.
    void failNextReads(int count) { m_failures = count; }
    int seeks() const { return m_seeks; }

private:
    std::vector<int16_t> m_samples;
    int m_rate, m_channels;
    int64_t m_position = 0;
    int m_failures = 0;
    int m_seeks = 0;
};

// Records what an engine tells its delegate; onFinished runs inside the end notice.
class DelegateRecorder : public CAPlayerDelegate {
public:
    void playerIsPlaying(bool playing) override { playingCalls.push_back(playing); }
    void playerDidFinishPlaying() override
    {
        ++finished;
        if (onFinished)
            onFinished();
    }
    std::vector<bool> playingCalls;
    int finished = 0;
    std::function<void()> onFinished;
};

} // namespace EngineTest
