#pragma once

// Where the render graph's samples come from: 16-bit signed interleaved PCM at
// the source's own rate and channel count (the decoder, a decode-ahead buffer, or
// a test signal).
//
// read() and seek() are called from one thread only (the render thread once the
// graph plays); sampleRate() and channels() are fixed.

#include <cstdint>

class PcmSource {
public:
    // read(): nothing is ready yet, though the stream goes on; the caller plays
    // silence and asks again at its next slice.
    static constexpr int64_t kStarved = -2;

    virtual ~PcmSource() = default;

    virtual int sampleRate() const = 0; // Hz
    virtual int channels() const = 0;   // 1 .. 8
    // Reads up to frames frames into out. Returns the frames delivered (1 ..
    // frames; fewer than asked is no end), 0 at the end of the stream, -1 on an
    // error (nothing delivered; a later read may succeed) or kStarved.
    virtual int64_t read(int16_t *out, int64_t frames) = 0;
    // Moves the read position to a frame.
    virtual void seek(int64_t frame) = 0;
};
