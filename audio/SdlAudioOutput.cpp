#include "audio/SdlAudioOutput.h"

#include "audio/DeviceFeed.h"

#include <SDL.h>
#include <cstdio>

namespace {

// The shared device. Main thread only, except where noted.
SDL_AudioDeviceID g_device = 0;
int g_rate = 0;
int g_opens = 0;
bool g_reportedFallback = false;
// What the device plays; its attach calls are made under the device lock, which
// SDL holds around the callback.
DeviceFeed g_feed;

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

bool deviceWorks()
{
    // A device that failed, or whose driver was shut down, reports "stopped"; ours
    // is otherwise either playing or paused.
    return g_device != 0 && SDL_GetCurrentAudioDriver() &&
           SDL_GetAudioDeviceStatus(g_device) != SDL_AUDIO_STOPPED;
}

bool openDevice(SDL_AudioCallback callback)
{
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = SdlAudioOutput::kDeviceRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = callback;
    g_device =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (g_device == 0)
        return false;
    ++g_opens;
    g_rate = have.freq;
    return true;
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

int SdlAudioOutput::deviceOpenCount()
{
    return g_opens;
}

int SdlAudioOutput::open(int, RenderFunction render)
{
    close();
    if (!deviceWorks()) {
        if (g_device != 0) {
            g_feed.detachAll();
            if (SDL_GetCurrentAudioDriver())
                SDL_CloseAudioDevice(g_device);
            g_device = 0;
        }
        if (!(ensureAudioDriver() && openDevice(&SdlAudioOutput::callback))) {
            if (!g_reportedFallback) {
                g_reportedFallback = true;
                std::fprintf(stderr,
                             "Quaver Pro: no audio device could be opened (%s); playing without "
                             "sound on the dummy driver.\n",
                             SDL_GetError());
            }
            if (!(SDL_AudioInit("dummy") == 0 && openDevice(&SdlAudioOutput::callback)))
                return 0;
        }
    }
    m_render = std::move(render);
    m_open = true;
    return g_rate;
}

void SdlAudioOutput::start()
{
    if (!m_open)
        return;
    SDL_LockAudioDevice(g_device);
    g_feed.attach(&m_render);
    SDL_UnlockAudioDevice(g_device);
    SDL_PauseAudioDevice(g_device, 0);
}

bool SdlAudioOutput::startAfter(AudioOutput& current)
{
    auto *before = dynamic_cast<SdlAudioOutput *>(&current);
    if (!m_open || !before || !before->m_open || before == this)
        return false;
    SDL_LockAudioDevice(g_device);
    g_feed.queue(&m_render);
    SDL_UnlockAudioDevice(g_device);
    return true;
}

void SdlAudioOutput::stop()
{
    if (!m_open)
        return;
    // SDL holds the device lock around the callback, so once this returns the
    // render function is not running.
    SDL_LockAudioDevice(g_device);
    const bool attached = g_feed.detach(&m_render);
    SDL_UnlockAudioDevice(g_device);
    if (attached)
        SDL_PauseAudioDevice(g_device, 1);
}

void SdlAudioOutput::close()
{
    if (!m_open)
        return;
    stop();
    m_open = false;
    m_render = nullptr;
}

void SdlAudioOutput::callback(void *, uint8_t *stream, int bytes)
{
    g_feed.fill(reinterpret_cast<float *>(stream), bytes / int(2 * sizeof(float)), true);
}
