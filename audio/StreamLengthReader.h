#pragma once

// Lengths that raw audio streams state in their own headers, read without decoding.
// The demuxers of FFmpeg leave these unknown or estimate them from the bit rate; the
// decoder and the duration texts take them from here instead.
//
// Every reader starts at the beginning of the device (skipping ID3v2 tags where the
// format allows them), reads only what it needs and leaves the position anywhere.
// Any thread; no shared state.

#include <QIODevice>
#include <cstdint>
#include <optional>

class StreamLengthReader {
public:
    struct Length {
        int sampleRate = 0; // Hz, as the stream headers state it
        int channels = 0;   // 0 when the headers do not say
        int64_t frames = 0; // sample frames at sampleRate that a decoder delivers
        bool exact = false; // false: estimated from the file size and the bit rate
        // mpegAudio() only: frames of one stream follow each other right after the
        // tags, so the file is MPEG audio beyond reasonable doubt.
        bool startsWithFrames = false;
    };

    // MPEG audio layers I-III (.mp3, .mp2): the first frame after the ID3v2 tags.
    // An Xing/Info or VBRI header gives the frame count; a LAME/Lavf/Lavc extension
    // of it gives the encoder delay and padding, which decoders trim (the count then
    // excludes them). Without such a header the length is estimated from the size
    // and the first frame's bit rate. Nothing for free-format or unsynchronised data.
    static std::optional<Length> mpegAudio(QIODevice& file);

    // AAC in ADTS frames: counts the frames (1024 frames per raw data block at the
    // header's rate; HE-AAC decoders deliver twice as many at twice the rate).
    static std::optional<Length> adts(QIODevice& file);

    // AMR-NB ("#!AMR\n", 8 kHz, 160 frames per block) and AMR-WB ("#!AMR-WB\n",
    // 16 kHz, 320 per block) storage files: counts every block, speech or not.
    static std::optional<Length> amr(QIODevice& file);

    // Core Audio Format: with a packet table, its valid frames plus priming frames
    // (decoders do not trim the priming); without one (constant-size packets, e.g.
    // PCM), the data size. A packet table that counts whole packets with neither
    // priming nor remainder is what some writers put down for a last packet that is
    // not full: that count is taken as an estimate.
    static std::optional<Length> caf(QIODevice& file);

    // Offset of the first byte after the ID3v2 tags at the start (0 when there are none).
    static int64_t skipId3v2(QIODevice& file);
};
