#pragma once

// The sound server through PulseAudio's own API (which PipeWire serves too): one
// float32 stereo stream at 48 kHz for the whole program, with the role "music".
//
// Music wants a deep buffer: the server holds kBufferMs of sound, so that a busy
// machine (compiles on every core) never leaves it without data, and asks for
// more each time kRequestMs of it has played, so the render thread wakes about
// 1000 / kRequestMs times a second. What SDL's outputs cannot do makes the deep
// buffer responsive all the same:
// - a pause corks the stream at the server (heard at once) and keeps what it
//   holds, so that playing again goes on from the very sample it stopped at;
// - a seek (discardQueued) or another output starting mid-stream flushes what the
//   server holds, so the new sound follows at once;
// - the program's own volume (SystemVolume) is the stream's volume at the server,
//   so a change is heard at once rather than after the buffer.
// A stream that ended keeps its tail: the next output starts after it.
//
// Like SdlAudioOutput, every engine's output attaches to the one stream, at most
// one is started at a time, and startAfter() joins two without a gap. The stream
// is made again when the server connection failed (the server restarted).
//
// Main thread only; the render function runs on PulseAudio's mainloop thread
// (the render thread), under the mainloop lock that the control calls take.

#include "audio/AudioOutput.h"

class PulseAudioOutput : public AudioOutput {
public:
    static constexpr int kDeviceRate = 48000;
    static constexpr int kBufferMs = 250;
    static constexpr int kRequestMs = 100;

    PulseAudioOutput() = default;
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    // Whether a server answers; the first call connects (and may wait for the
    // server's answer), later ones reuse the connection.
    static bool serverReachable();

    // preferredRate is ignored: the stream keeps its one rate.
    int open(int preferredRate, RenderFunction render) override;
    void start() override;
    void stop() override;
    void close() override;
    bool startAfter(AudioOutput& current) override;
    bool canStartAfter() const override { return true; }
    void discardQueued() override;

private:
    bool m_open = false;     // main thread
    RenderFunction m_render; // immutable while open; called on the render thread
};
