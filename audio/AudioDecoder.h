#pragma once

// Decodes one audio file (any container FFmpeg knows that holds an audio stream)
// to 16-bit signed interleaved PCM at the file's own sample rate and channel count.
// No resampling and no channel mixing happen here.
//
// Threads: open() and the accessors of fixed properties may be called from any one
// thread; once the engine plays, read() and seek() are called from the render
// thread only. tell() is safe from any thread (atomic).

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

class AudioDecoder {
public:
    AudioDecoder();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Opens the file and measures it. False when the file has no decodable audio
    // stream (errorString() says why); the decoder is then unusable.
    bool open(const QString& path);
    bool isOpen() const;
    QString errorString() const;

    // The file's own format (valid after a successful open()).
    int sampleRate() const; // Hz
    int channels() const;   // 1 .. 8
    // Length in frames at sampleRate().
    int64_t totalFrames() const;

    // Reads up to frames frames into out (frames * channels() samples). Returns the
    // frames delivered: fewer than asked only at the end of the file; -1 on a decode
    // error (the position is then unchanged and a later read may succeed).
    int64_t read(int16_t *out, int64_t frames);

    // Moves to a frame, exactly; frames beyond the end put the position at the end.
    bool seek(int64_t frame);

    // The frame that the next read() starts at.
    int64_t tell() const { return m_position.load(std::memory_order_relaxed); }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::atomic<int64_t> m_position{0}; // written by the reading thread
};
