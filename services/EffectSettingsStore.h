#pragma once

// The effect settings as the settings dictionary holds them ("EQ",
// "VolumeLimit", "PlaybackRate", "ReplayGain", "KeepPitch"): what every new engine is given.
//
// Nothing is present while no dictionary has ever been written (the engine then
// keeps its own values). Otherwise a value of the wrong type or out of range (a
// damaged or hand-edited store) counts as absent: a bad "EQ" sets no preset, the
// volume limit, the rate, ReplayGain and keep pitch take their defaults.
//
// Stateless; reads the store afresh at each call. Main thread only.

#include "audio/EffectSettings.h"

class EffectSettingsStore {
public:
    static EffectSettings stored();
};
