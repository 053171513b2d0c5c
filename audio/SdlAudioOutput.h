#pragma once

// The sound card through SDL2's audio (PulseAudio, PipeWire, ALSA, JACK): a
// float32 stereo device at the rate SDL grants, with the stream role "Music".
//
// The program's own volume (SystemVolume) is applied last, on what the graph
// rendered; a change glides over one device period.
//
// When no device opens, the output says so once on stderr and moves the process
// to SDL's "dummy" driver, which pulls in real time without sound, so that the
// transport, the time display and the end of a track still work. SDL_AUDIODRIVER
// selects the driver as usual ("disk" writes the stream to SDL_DISKAUDIOFILE).
//
// Main thread only; the render function runs on SDL's audio thread.

#include "audio/AudioOutput.h"

#include <cstdint>

class SdlAudioOutput : public AudioOutput {
public:
    SdlAudioOutput() = default;
    ~SdlAudioOutput() override;
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    int open(int preferredRate, RenderFunction render) override;
    void start() override;
    void stop() override;
    void close() override;

    // The SDL driver in use ("pulseaudio", "dummy", ...), empty when none.
    static const char *currentDriver();

private:
    static void callback(void *self, uint8_t *stream, int bytes);
    bool openDevice(int preferredRate);

    uint32_t m_device = 0;   // main thread; SDL_AudioDeviceID, 0 when closed
    int m_rate = 0;          // main thread; the granted rate (Hz)
    RenderFunction m_render; // immutable while open; called on SDL's thread
    float m_gain = 1.0f;     // SDL's thread while open; the volume last applied
};
