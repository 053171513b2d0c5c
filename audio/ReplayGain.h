#pragma once

// Loudness correction of one file from its tags: the gains and peaks that a
// ReplayGain scanner or an Opus encoder wrote, and the linear gain the engine
// multiplies by for a mode (Off, Track, Album).
//
// Tags, by name (any case), as FFmpeg reports them from ID3v2 TXXX frames, Vorbis
// comments (FLAC, Ogg, Opus), APE items and MP4 freeform atoms:
//   REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_ALBUM_GAIN  "+1.23 dB", "-6.5 dB", "-6.5"
//   REPLAYGAIN_TRACK_PEAK, REPLAYGAIN_ALBUM_PEAK  linear, "0.988";  1.0 = full scale
//   R128_TRACK_GAIN, R128_ALBUM_GAIN              Q7.8 integer ("-1280" = -5 dB),
//                                                 relative to -23 LUFS
// An R128 gain is taken before a REPLAYGAIN one of the same kind (Opus files
// define their gain that way; the header's output gain is already applied by the
// decoder); 5 dB is added to it to meet ReplayGain's 89 dB reference. A value
// that is not a plain number, not finite, a gain beyond +-kMaxGainDb or a peak
// not above 0 is ignored, as if the tag were absent.
//
// Stateless; any thread (the engine reads the tags when it opens a file, on the
// main thread, never on the render thread).

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

class ReplayGain {
public:
    // The settings' values (stored as these integers).
    enum class Mode : int32_t { Off = 0, Track = 1, Album = 2 };

    // Gains beyond this (dB) are damaged tags, not music.
    static constexpr float kMaxGainDb = 51.0f;
    // The gain of a file with neither gain tag while the mode is not Off (dB): a
    // track scanned at the 89 dB reference typically gets -6 to -9 dB, so an
    // untagged one would otherwise play some 6 dB louder than its neighbours. An
    // attenuation can never clip.
    static constexpr float kUntaggedGainDb = -6.0f;
    // R128 gains are relative to -23 LUFS; ReplayGain's 89 dB reference is -18.
    static constexpr float kR128ToReplayGainDb = 5.0f;

    struct Tags {
        std::optional<float> trackGain; // dB at the 89 dB reference
        std::optional<float> trackPeak; // linear, > 0
        std::optional<float> albumGain;
        std::optional<float> albumPeak;

        bool operator==(const Tags&) const = default;
    };

    // value(key): the text of the tag named key (upper case as above), or null.
    using Lookup = std::function<const char *(const char *key)>;
    static Tags read(const Lookup& value);

    // The linear gain for mode. Off: exactly 1. Track: the track gain, else the
    // album gain; Album: the album gain, else the track gain; neither:
    // kUntaggedGainDb. Lowered so that the peak that goes with the gain used (the
    // other one when that is absent) times the gain stays at or below 1.
    static float linearGain(const Tags& tags, Mode mode);

    // The parts, for the tests. Absent for a bad value (see above).
    static std::optional<float> parseGainDb(std::string_view text);
    static std::optional<float> parsePeak(std::string_view text);
    static std::optional<float> parseR128Db(std::string_view text);
};
