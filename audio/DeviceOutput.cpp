#include "audio/DeviceOutput.h"

#include "audio/PulseAudioOutput.h"
#include "audio/SdlAudioOutput.h"

#include <cstdlib>

std::unique_ptr<AudioOutput> DeviceOutput::make()
{
    const char *sdlDriver = std::getenv("SDL_AUDIODRIVER");
    if ((!sdlDriver || !*sdlDriver) && PulseAudioOutput::serverReachable())
        return std::make_unique<PulseAudioOutput>();
    return std::make_unique<SdlAudioOutput>();
}
