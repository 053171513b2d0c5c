#pragma once

// Decodes one audio file (any container FFmpeg knows that holds an audio stream)
// to 16-bit signed interleaved PCM at the file's own sample rate and channel count.
// No resampling and no channel mixing happen here.
//
// Threads: open() and the accessors of fixed properties may be called from any one
// thread; once the engine plays, read() and seek() are called from the render
// thread only. tell() is safe from any thread (atomic). probe() is safe from any
// thread at any time.
//
// Length (totalFrames) and its accuracy:
// - exact (lengthIsExact()) where the file states it: PCM in WAV, AIFF/AIFC, CAF and
//   MOV (from the data size or the frame count); MP4/M4A/MOV/3GP tracks (their
//   duration, after the edit list: AAC priming is trimmed, and reading stops at the
//   stated end, so the encoder's padding is not delivered); MP3 with an Xing/Info or
//   VBRI header (frame count; with a LAME/Lavf/Lavc extension the encoder delay and
//   padding are trimmed); ADTS AAC and AMR (frames counted from their headers); CAF
//   with a packet table. read() never delivers more than an exact length, and
//   delivers all of it unless the file is damaged.
// - estimated otherwise (e.g. MP3/MP2 without an info header: from the size and the
//   bit rate, usually within one codec frame): reading goes on to the decoder's
//   real end, which may lie a little before or after totalFrames.
//
// Damaged data: packets that fail to decode are skipped (undecodable AMR blocks
// become silence of their length, so that an AMR file keeps its timing); after many
// consecutive failures the file is treated as ended. Reading never hangs.

#include "audio/ReplayGain.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class AudioDecoder {
public:
    AudioDecoder();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Opens the file and measures it. False when the file has no decodable audio
    // stream (errorString() says why); the decoder is then unusable. Decodes the
    // first block of audio, so that the format reported is the one read() delivers.
    bool open(const QString& path);
    bool isOpen() const;
    QString errorString() const;

    // The file's own format (valid after a successful open()).
    int sampleRate() const; // Hz
    int channels() const;   // 1 .. 8
    // Length in frames at sampleRate().
    int64_t totalFrames() const;
    // Whether totalFrames() is stated by the file (see above) or estimated.
    bool lengthIsExact() const;
    // The loudness tags of the file or of its audio stream, read by open().
    ReplayGain::Tags replayGainTags() const;

    // Reads up to frames frames into out (frames * channels() samples). Returns the
    // frames delivered: fewer than asked only at the end of the file; -1 on a read
    // error of the file (what this call had decoded is dropped, tell() moves past it,
    // and a later read may succeed; after many such errors in a row the file counts
    // as ended). Allocates nothing of its own, unless the stream changes its sample
    // format or channel count midway (a new converter).
    int64_t read(int16_t *out, int64_t frames);

    // Moves to a frame, exactly; frames beyond the end put the position at the end
    // (tell() == totalFrames(), the next read() delivers 0), negative frames at 0.
    // Decodes from shortly before the target (0.2 s or more for lossy codecs, none
    // for PCM and lossless), or from the start where the demuxer cannot place the
    // target; FFmpeg allocates while seeking. False when the file cannot be
    // repositioned (the position is then unchanged) or not read at the new position.
    bool seek(int64_t frame);

    // The frame that the next read() starts at.
    int64_t tell() const { return m_position.load(std::memory_order_relaxed); }

    // The format, length and container tags of a file from its headers alone,
    // without decoding: the same totalFrames() and exactness that open() reports,
    // except where a decoder delivers another rate than the headers state (HE-AAC in
    // ADTS; the length in seconds agrees). For duration texts of many files; costs
    // about one container open, or a few small reads for MPEG audio (whose tags it
    // then does not read).
    struct Probe {
        int sampleRate = 0; // Hz
        int channels = 0;   // 0 when the headers do not say
        int64_t totalFrames = 0;
        bool exact = false;
        // Tags the container itself carries (empty when absent): for files whose tags
        // a tag library does not read (CAF, AMR, 3GP, AIFF name chunks).
        QString title;
        QString artist; // the artist, else the author
        QString album;
    };
    static std::optional<Probe> probe(const QString& path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::atomic<int64_t> m_position{0}; // written by the reading thread
};
