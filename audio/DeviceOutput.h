#pragma once

// The output an engine plays through when no other is asked for: the sound
// server through PulseAudioOutput when one answers, SDL's audio otherwise (ALSA,
// JACK, or SDL's "dummy" driver without any device). Setting SDL_AUDIODRIVER
// chooses SDL and that driver (tests use "dummy" and "disk").
//
// Main thread only.

#include "audio/AudioOutput.h"

#include <memory>

namespace DeviceOutput {

std::unique_ptr<AudioOutput> make();

} // namespace DeviceOutput
