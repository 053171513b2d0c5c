#pragma once

// The effect values an engine is given when it is prepared: equaliser preset,
// playback rate, volume limit, ReplayGain mode and keep pitch, and the one
// definition of their ranges and defaults. A value left out is not applied: the
// engine keeps what it has (a flat equaliser, a rate never set that reads 0, a
// volume limit of 1.0, ReplayGain off, varispeed).
//
// A plain value; copy it freely between threads.

#include "audio/ReplayGain.h"

#include <cstdint>
#include <optional>

struct EffectSettings {
    // Playback rate factor (tempo and pitch together).
    static constexpr float kMinPlaybackRate = 0.5f;
    static constexpr float kMaxPlaybackRate = 2.0f;
    static constexpr float kDefaultPlaybackRate = 1.0f;
    // Volume limit: a linear gain.
    static constexpr float kMinVolumeLimit = 0.0f;
    static constexpr float kMaxVolumeLimit = 1.0f;
    static constexpr float kDefaultVolumeLimit = 1.0f;
    // ReplayGain: Off keeps the sound as it was without the setting, bit for bit.
    static constexpr ReplayGain::Mode kDefaultReplayGain = ReplayGain::Mode::Off;
    // Whether the playback rate keeps the pitch (tempo only) instead of varispeed.
    static constexpr bool kDefaultKeepPitch = false;

    std::optional<int32_t> eqPreset; // index into the equaliser's presets
    std::optional<float> playbackRate;
    std::optional<float> volumeLimit;
    std::optional<ReplayGain::Mode> replayGain;
    std::optional<bool> keepPitch;

    bool operator==(const EffectSettings&) const = default;

    // Whether value lies within the range (NaN does not).
    static bool isPlaybackRate(float value)
    {
        return value >= kMinPlaybackRate && value <= kMaxPlaybackRate;
    }
    static bool isVolumeLimit(float value)
    {
        return value >= kMinVolumeLimit && value <= kMaxVolumeLimit;
    }
    // The mode stored as value, or nothing for another number.
    static std::optional<ReplayGain::Mode> replayGainMode(int64_t value)
    {
        if (value < int64_t(ReplayGain::Mode::Off) || value > int64_t(ReplayGain::Mode::Album))
            return std::nullopt;
        return ReplayGain::Mode(value);
    }
    // value brought into the range; the rate is compared in 64-bit float.
    static double clampedPlaybackRate(double value)
    {
        return value < kMinPlaybackRate   ? kMinPlaybackRate
               : value > kMaxPlaybackRate ? kMaxPlaybackRate
                                          : value;
    }
    static float clampedVolumeLimit(float value)
    {
        return value < kMinVolumeLimit   ? kMinVolumeLimit
               : value > kMaxVolumeLimit ? kMaxVolumeLimit
                                         : value;
    }
};
