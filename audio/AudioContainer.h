#pragma once

// The container side of decoding, on FFmpeg's libavformat: opening a local file
// read-only, choosing its audio stream, and the length that the container or the
// stream headers state. AudioDecoder builds on it; nothing here decodes.
//
// Opening accepts local files only ("file:" protocol) and only the containers
// that may hold the audio of a supported file, detected by content: a misnamed
// file still opens, while images, playlists, subtitles and network manifests are
// refused before a demuxer runs on them. FFmpeg's log is silent unless the
// "quaver.audio.ffmpeg" logging category is enabled for debug.
//
// Stateless; any thread except the render thread (opening reads the file).

#include "audio/ReplayGain.h"

#include <QString>
#include <cstdint>
#include <memory>

struct AVCodecParameters;
struct AVFormatContext;
struct AVStream;

class AudioContainer {
public:
    AudioContainer() = delete;

    struct FormatCloser {
        void operator()(AVFormatContext *format) const;
    };
    using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

    // The opened container, or null with *error (when given) saying why.
    static FormatPtr open(const QString& path, QString *error);
    // The default audio stream that has a decoder, else the first such stream;
    // -1 when there is none. Attached pictures are not audio.
    static int pickAudioStream(AVFormatContext *format);

    struct Measurement {
        int sampleRate = 0; // Hz; 0 when unknown
        int channels = 0;
        int64_t frames = -1; // at sampleRate; -1 when unknown
        bool exact = false;  // stated by the container, not estimated from a bit rate
    };
    // The length of stream as the container or its headers state it. Raw MPEG
    // audio, ADTS, AMR and CAF are measured by StreamLengthReader from the file at
    // path; PCM and the containers that state a length (MP4 family, WAV, W64, AIFF,
    // CAF, FLAC) are exact; anything else is the container's estimate.
    static Measurement measure(AVFormatContext *format, AVStream *stream, const QString& path);

    // Seek pre-roll in frames: how much audio before a target a lossy decoder
    // needs to rebuild its state (overlapping transforms, bit reservoirs,
    // predictors) so that it delivers the very samples of a straight decode. 0 for
    // PCM and lossless codecs; Layer III at half rates needs eight frames.
    static int64_t prerollFrames(const AVCodecParameters *par, int sampleRate);

    // The loudness tags of stream, or of the file where the stream has none.
    static ReplayGain::Tags replayGainTags(AVFormatContext *format, AVStream *stream);

    // FFmpeg's text for an AVERROR code.
    static QString errorText(int error);
};
