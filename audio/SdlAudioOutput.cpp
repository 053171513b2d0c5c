#include "audio/SdlAudioOutput.h"

#include "audio/SystemVolume.h"

#include <SDL.h>
#include <cstdio>

namespace {

// Process-wide, main thread only: devices this class holds open, and whether the
// fallback has been announced.
int g_openDevices = 0;
bool g_reportedFallback = false;

bool ensureAudioDriver()
{
    if (SDL_GetCurrentAudioDriver())
        return true;
    // SDL would turn SIGINT and SIGTERM into quit events that nobody reads; the
    // program handles those signals in its event loop.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, "Quaver Pro");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quaver Pro");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "Music");
    if (!SDL_WasInit(SDL_INIT_AUDIO))
        return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    // The subsystem is counted as up but its driver was shut down (a test moved
    // drivers): bring the configured one back.
    return SDL_AudioInit(nullptr) == 0;
}

} // namespace

SdlAudioOutput::~SdlAudioOutput()
{
    close();
}

const char *SdlAudioOutput::currentDriver()
{
    const char *driver = SDL_GetCurrentAudioDriver();
    return driver ? driver : "";
}

bool SdlAudioOutput::openDevice(int preferredRate)
{
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = preferredRate > 0 ? preferredRate : 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlAudioOutput::callback;
    want.userdata = this;
    m_device =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (m_device == 0)
        return false;
    ++g_openDevices;
    m_rate = have.freq;
    m_gain = SystemVolume::get();
    return true;
}

int SdlAudioOutput::open(int preferredRate, RenderFunction render)
{
    close();
    m_render = std::move(render);
    if (ensureAudioDriver() && openDevice(preferredRate))
        return m_rate;

    if (!g_reportedFallback) {
        g_reportedFallback = true;
        std::fprintf(stderr,
                     "Quaver Pro: no audio device could be opened (%s); playing without "
                     "sound on the dummy driver.\n",
                     SDL_GetError());
    }
    // Switching drivers closes every device, so only when none of ours is open.
    if (g_openDevices == 0 && SDL_AudioInit("dummy") == 0 && openDevice(preferredRate))
        return m_rate;
    m_render = nullptr;
    return 0;
}

void SdlAudioOutput::start()
{
    if (m_device)
        SDL_PauseAudioDevice(m_device, 0);
}

void SdlAudioOutput::stop()
{
    // SDL holds the device lock around the callback, so once this returns the
    // render function is not running.
    if (m_device)
        SDL_PauseAudioDevice(m_device, 1);
}

void SdlAudioOutput::close()
{
    if (!m_device)
        return;
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    --g_openDevices;
    m_render = nullptr;
}

void SdlAudioOutput::callback(void *self, uint8_t *stream, int bytes)
{
    auto *output = static_cast<SdlAudioOutput *>(self);
    auto *samples = reinterpret_cast<float *>(stream);
    const int frames = bytes / int(2 * sizeof(float));
    output->m_render(samples, frames);

    const float from = output->m_gain;
    const float to = SystemVolume::get();
    output->m_gain = to;
    if (from == to) {
        if (to != 1.0f)
            for (int i = 0; i < 2 * frames; ++i)
                samples[i] *= to;
        return;
    }
    const float step = (to - from) / float(frames);
    for (int i = 0; i < frames; ++i) {
        const float g = i + 1 == frames ? to : from + step * float(i + 1);
        samples[2 * i] *= g;
        samples[2 * i + 1] *= g;
    }
}
