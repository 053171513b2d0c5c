#pragma once

// Signals and measurements shared by the engine's tests.

#include "audio/CAPlayerDelegate.h"
#include "media/MediaDesc.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace EngineTest {

// Interleaved 16-bit samples of a sine (same on every channel) of amplitude
// (0 .. 1) lasting frames frames.
std::vector<int16_t> tone(double hz, double amplitude, int sampleRate, int64_t frames,
                          int channels = 1);

// A WAV file (PCM 16-bit) of the given interleaved samples.
QByteArray wavBytes(const std::vector<int16_t>& samples, int sampleRate, int channels);

// Writes "<home>/music/name", a mono 440 Hz WAV of seconds at rate; returns its path.
// Without a length, a damaged one: a header that promises a second of sound with
// nothing after it (the file opens, and ends without a frame).
QString writeWav(const QString& name, double seconds = 0, int rate = 8000);

// A record of the current list for path, with the tags given.
MediaDescPtr record(const QString& path, std::optional<QString> title = {},
                    std::optional<QString> artist = {});
// The file paths of items, in order ("" for a record without one).
QStringList paths(const MediaList& items);

// Samples of one channel (0 left, 1 right) of interleaved stereo float.
std::vector<float> channel(const std::vector<float>& stereo, int which);
// Root mean square of samples [from, to).
double rms(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX);
// Amplitude of the component at hz in samples [from, to) (Goertzel).
double toneAmplitude(const std::vector<float>& samples, double hz, int sampleRate, size_t from,
                     size_t to);
// Frequency from rising zero crossings over samples [from, to).
double zeroCrossingHz(const std::vector<float>& samples, int sampleRate, size_t from, size_t to);

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

// SDL's disk driver in place of the sound device: what the device plays goes to
// a file in the test's home, as interleaved stereo floats at the device's rate.
class DiskDriver {
public:
    // Restarts SDL's audio on the disk driver.
    DiskDriver();
    // Empty when the driver runs; otherwise why not (for GTEST_SKIP).
    QString whyNot() const { return m_whyNot; }
    // Bytes written so far.
    qint64 size() const;
    // Shuts SDL's audio down (destroy the players first) and returns every sample
    // written.
    std::vector<float> finish();

private:
    QString m_path;
    QString m_whyNot;
};

} // namespace EngineTest
