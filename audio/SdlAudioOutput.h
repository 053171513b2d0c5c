#pragma once

// The sound card through SDL2's audio (PulseAudio, PipeWire, ALSA, JACK): one
// float32 stereo device for the whole program, with the stream role "Music".
//
// The device is opened by the first open() and then kept, at one fixed rate
// (48 kHz, or the rate the device insists on), paused while no output is started;
// every engine's output attaches to it, so a track change never reopens it. It
// is reopened only when it has failed (unplugged, server gone, or SDL's driver
// was restarted). At most one output is started at a time: start() makes this
// output the one the device pulls, replacing any other.
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
    // The rate the shared device is asked for.
    static constexpr int kDeviceRate = 48000;

    SdlAudioOutput() = default;
    ~SdlAudioOutput() override;
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    // preferredRate is ignored: the device keeps its one rate, and the graph
    // converts every file to it.
    int open(int preferredRate, RenderFunction render) override;
    void start() override;
    void stop() override;
    // Detaches this output; the device stays open for the next one.
    void close() override;
    // Joins when current is an open SdlAudioOutput; replaces any output queued
    // before.
    bool startAfter(AudioOutput& current) override;
    bool canStartAfter() const override { return true; }

    // The SDL driver in use ("pulseaudio", "dummy", ...), empty when none.
    static const char *currentDriver();
    // How many times the shared device has been opened in this process.
    static int deviceOpenCount();

private:
    static void callback(void *unused, uint8_t *stream, int bytes);

    bool m_open = false;     // main thread
    RenderFunction m_render; // immutable while open; called on SDL's thread
};
