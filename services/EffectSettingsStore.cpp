#include "services/EffectSettingsStore.h"

#include "audio/EQPresets.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"

EffectSettings EffectSettingsStore::stored()
{
    EffectSettings effects;
    const std::optional<QVariantMap> dict = SettingsHelper::storedSettingsDict();
    if (!dict)
        return effects;
    const std::optional<qint64> eq = SettingsHelper::intValue(*dict, SettingsKeys::EQ);
    if (eq && EQPresets::contains(*eq))
        effects.eqPreset = int32_t(*eq);
    const std::optional<float> limit = SettingsHelper::floatValue(*dict, SettingsKeys::VolumeLimit);
    effects.volumeLimit = limit && EffectSettings::isVolumeLimit(*limit)
                              ? *limit
                              : EffectSettings::kDefaultVolumeLimit;
    const std::optional<float> rate = SettingsHelper::floatValue(*dict, SettingsKeys::PlaybackRate);
    effects.playbackRate = rate && EffectSettings::isPlaybackRate(*rate)
                               ? *rate
                               : EffectSettings::kDefaultPlaybackRate;
    const std::optional<qint64> mode = SettingsHelper::intValue(*dict, SettingsKeys::ReplayGain);
    effects.replayGain = (mode ? EffectSettings::replayGainMode(*mode) : std::nullopt)
                             .value_or(EffectSettings::kDefaultReplayGain);
    effects.keepPitch = SettingsHelper::boolValue(*dict, SettingsKeys::KeepPitch)
                            .value_or(EffectSettings::kDefaultKeepPitch);
    return effects;
}
