#pragma once

// What the settings screens may read and change of the effects of the engine
// that plays now. The owner of the engines implements it; the screens never hold
// an engine (a new one is made for every track, and the next one may already be
// queued).
//
// Main thread only.

#include "audio/EffectSettings.h"

#include <QStringList>
#include <optional>

class EffectsControl {
public:
    virtual ~EffectsControl() = default;

    // The values of the engine that plays now, all present and exactly as the
    // engine keeps them (a rate never set reads 0); nothing while there is no
    // engine.
    virtual std::optional<EffectSettings> engineEffects() const = 0;
    // The engine's preset names in index order; empty while there is no engine.
    virtual QStringList eqPresetNames() const = 0;

    // Each is heard at once on every engine that exists (the one that plays and
    // the one queued after it) and given to every engine made afterwards. Storing
    // the value is the caller's business.
    virtual void setEQPreset(int32_t index) = 0;
    virtual void setPlaybackRate(float value) = 0;
    virtual void setVolumeLimit(float value) = 0;
    virtual void setReplayGain(ReplayGain::Mode mode) = 0;
    virtual void setKeepPitch(bool on) = 0;
};
