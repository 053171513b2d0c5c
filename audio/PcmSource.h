#pragma once

// Where the render graph's samples come from: 16-bit signed interleaved PCM at
// the source's own rate and channel count (the decoder, or a test signal).
//
// read() and seek() are called from the render thread only, after the graph is
// built; sampleRate() and channels() are fixed.

#include <cstdint>

class PcmSource {
public:
    virtual ~PcmSource() = default;

    virtual int sampleRate() const = 0; // Hz
    virtual int channels() const = 0;   // 1 .. 8
    // Reads up to frames frames into out. Returns the frames delivered (fewer than
    // asked only at the end of the stream) or -1 on an error (nothing delivered; a
    // later read may succeed).
    virtual int64_t read(int16_t *out, int64_t frames) = 0;
    // Moves the read position to a frame.
    virtual void seek(int64_t frame) = 0;
};
