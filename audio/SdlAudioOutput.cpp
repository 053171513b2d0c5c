#include "audio/SdlAudioOutput.h"

#include "audio/SystemVolume.h"

#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// The shared device. Main thread only, except where noted.
SDL_AudioDeviceID g_device = 0;
int g_rate = 0;
int g_opens = 0;
bool g_reportedFallback = false;
// The output the device pulls: written by the main thread while it holds the
// device lock, read by SDL's thread inside the callback (which SDL runs under
// that lock), so a stopped output is never called again.
std::atomic<SdlAudioOutput *> g_active{nullptr};
// The output that follows g_active at the end of its stream; the same rules.
std::atomic<SdlAudioOutput *> g_next{nullptr};
float g_gain = 1.0f; // SDL's thread only: the volume last applied
// Set when start() cuts another output off mid-stream; the next period then
// glides from the last frame written, so the cut does not click.
std::atomic<bool> g_cut{false};
float g_last[2] = {0.0f, 0.0f}; // SDL's thread only: the last frame written
// How long the glide after a cut lasts.
constexpr int kDeclickFrames = 240; // 5 ms at 48 kHz

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
    g_gain = SystemVolume::get(); // the callback is not running yet: the device is paused
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
            g_active.store(nullptr);
            g_next.store(nullptr);
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
    SdlAudioOutput *before = g_active.exchange(this, std::memory_order_acq_rel);
    if (before && before != this)
        g_cut.store(true, std::memory_order_release);
    if (g_next.load(std::memory_order_relaxed) == this)
        g_next.store(nullptr, std::memory_order_release);
    SDL_UnlockAudioDevice(g_device);
    SDL_PauseAudioDevice(g_device, 0);
}

bool SdlAudioOutput::startAfter(AudioOutput& current)
{
    auto *before = dynamic_cast<SdlAudioOutput *>(&current);
    if (!m_open || !before || !before->m_open || before == this)
        return false;
    SDL_LockAudioDevice(g_device);
    g_next.store(this, std::memory_order_release);
    SDL_UnlockAudioDevice(g_device);
    return true;
}

void SdlAudioOutput::stop()
{
    if (!m_open)
        return;
    // Both looked at under the device lock: outside it the callback may move this
    // output from queued to active between the two reads, and it would be left
    // attached. SDL holds the lock around the callback, so once this returns the
    // render function is not running.
    SDL_LockAudioDevice(g_device);
    const bool active = g_active.load(std::memory_order_acquire) == this;
    if (active)
        g_active.store(nullptr, std::memory_order_release);
    if (g_next.load(std::memory_order_acquire) == this)
        g_next.store(nullptr, std::memory_order_release);
    SDL_UnlockAudioDevice(g_device);
    if (active)
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
    auto *samples = reinterpret_cast<float *>(stream);
    const int frames = bytes / int(2 * sizeof(float));
    SdlAudioOutput *output = g_active.load(std::memory_order_acquire);
    if (!output || frames <= 0) {
        std::memset(stream, 0, size_t(bytes));
        g_last[0] = g_last[1] = 0.0f;
        return;
    }
    int streamed = output->m_render(samples, frames);
    // The stream ended within this period: the queued output goes on from the very
    // next sample.
    while (streamed < frames) {
        SdlAudioOutput *next = g_next.exchange(nullptr, std::memory_order_acq_rel);
        if (!next)
            break;
        g_active.store(next, std::memory_order_release);
        streamed += next->m_render(samples + 2 * streamed, frames - streamed);
    }

    const float from = g_gain;
    const float to = SystemVolume::get();
    g_gain = to;
    const float step = (to - from) / float(frames);
    if (from != to || to != 1.0f) {
        for (int i = 0; i < frames; ++i) {
            const float g = i + 1 == frames ? to : from + step * float(i + 1);
            samples[2 * i] *= g;
            samples[2 * i + 1] *= g;
        }
    }
    if (g_cut.exchange(false, std::memory_order_acq_rel)) {
        // The step between the old stream's last frame and the new one's first
        // fades out over a few milliseconds instead of sounding as a click.
        const float offset[2] = {g_last[0] - samples[0], g_last[1] - samples[1]};
        const int n = std::min(frames, kDeclickFrames);
        for (int i = 0; i < n; ++i) {
            const float weight = 1.0f - float(i + 1) / float(n);
            samples[2 * i] += offset[0] * weight;
            samples[2 * i + 1] += offset[1] * weight;
        }
    }
    g_last[0] = samples[2 * (frames - 1)];
    g_last[1] = samples[2 * (frames - 1) + 1];
}
