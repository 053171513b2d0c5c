#include "audio/PulseAudioOutput.h"

#include "audio/DeviceFeed.h"
#include "audio/SystemVolume.h"

#include <algorithm>
#include <cstdio>
#include <pulse/pulseaudio.h>

namespace {

constexpr size_t kFrameBytes = 2 * sizeof(float);
constexpr pa_usec_t kRetryMs = 5;

// The connection and the stream. Made and released on the main thread; used
// under the mainloop lock, from the main thread (control calls) and from the
// mainloop thread (callbacks).
pa_threaded_mainloop *g_loop = nullptr;
pa_context *g_context = nullptr;
pa_stream *g_stream = nullptr;
bool g_reportedFailure = false; // main thread
DeviceFeed g_feed;
// Whose sound the server holds: the output last started or stopped while
// attached; a later start of another output flushes it unless its stream ended.
// Under the lock.
const DeviceFeed::Render *g_held = nullptr;
pa_time_event *g_retry = nullptr; // asks again while a stream gets ready
bool g_draining = false;          // under the lock: an idle drain is under way
float g_streamVolume = -1.0f;     // under the lock: the volume last set at the server

class LoopLock {
public:
    LoopLock() { pa_threaded_mainloop_lock(g_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(g_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;
};

void signalLoop(void *)
{
    pa_threaded_mainloop_signal(g_loop, 0);
}

void forget(pa_operation *operation)
{
    if (operation)
        pa_operation_unref(operation);
}

// Under the lock. The stream's volume follows SystemVolume.
void applyVolume()
{
    const float gain = SystemVolume::get();
    if (gain == g_streamVolume || !g_stream)
        return;
    g_streamVolume = gain;
    pa_cvolume volume;
    pa_cvolume_set(&volume, 2, pa_sw_volume_from_linear(double(gain)));
    forget(pa_context_set_sink_input_volume(g_context, pa_stream_get_index(g_stream), &volume,
                                            nullptr, nullptr));
}

void corkWhenDrained(pa_stream *, int, void *)
{
    g_draining = false;
    if (g_stream && (!g_feed.playing() || g_feed.ended()))
        forget(pa_stream_cork(g_stream, 1, nullptr, nullptr));
}

// Under the lock (the mainloop thread, or a control call). Writes up to bytes of
// the feed. With nothing to play it writes nothing: the server plays out what it
// holds, and the stream is then corked so that an idle program is not woken.
void writeFeed(size_t bytes)
{
    if (!g_stream || pa_stream_get_state(g_stream) != PA_STREAM_READY)
        return;
    applyVolume();
    if (!g_feed.playing() || g_feed.ended()) {
        if (!g_draining && !pa_stream_is_corked(g_stream)) {
            g_draining = true;
            forget(pa_stream_drain(g_stream, corkWhenDrained, nullptr));
        }
        return;
    }
    while (bytes >= kFrameBytes && g_feed.playing() && !g_feed.ended()) {
        void *data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(g_stream, &data, &size) < 0 || !data)
            return;
        size -= size % kFrameBytes;
        if (size == 0) {
            pa_stream_cancel_write(g_stream);
            return;
        }
        if (!g_feed.fill(static_cast<float *>(data), int(size / kFrameBytes), false, true)) {
            // Nothing ready (a seek being decoded): silence written now would be
            // heard before the sound it delays, so the write waits a little.
            pa_stream_cancel_write(g_stream);
            pa_context_rttime_restart(g_context, g_retry,
                                      pa_rtclock_now() + kRetryMs * PA_USEC_PER_MSEC);
            return;
        }
        if (pa_stream_write(g_stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= std::min(bytes, size);
    }
}

void onWriteRequest(pa_stream *, size_t bytes, void *)
{
    writeFeed(bytes);
}

void writeWhatIsAsked()
{
    const size_t writable = pa_stream_writable_size(g_stream);
    if (writable != size_t(-1))
        writeFeed(writable);
}

void volumeChanged()
{
    if (!g_loop)
        return;
    LoopLock lock;
    applyVolume();
}

void disconnect()
{
    if (!g_loop)
        return;
    SystemVolume::setListener(nullptr);
    pa_threaded_mainloop_stop(g_loop);
    g_feed.detachAll();
    if (g_retry)
        pa_threaded_mainloop_get_api(g_loop)->time_free(g_retry);
    g_retry = nullptr;
    if (g_stream) {
        pa_stream_disconnect(g_stream);
        pa_stream_unref(g_stream);
    }
    if (g_context) {
        pa_context_disconnect(g_context);
        pa_context_unref(g_context);
    }
    pa_threaded_mainloop_free(g_loop);
    g_loop = nullptr;
    g_context = nullptr;
    g_stream = nullptr;
    g_held = nullptr;
    g_draining = false;
    g_streamVolume = -1.0f;
}

bool connected()
{
    if (!g_loop)
        return false;
    LoopLock lock;
    return pa_context_get_state(g_context) == PA_CONTEXT_READY && g_stream &&
           pa_stream_get_state(g_stream) == PA_STREAM_READY;
}

bool connect()
{
    disconnect();
    g_loop = pa_threaded_mainloop_new();
    if (!g_loop)
        return false;
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quaver Pro");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "io.github.quaverpro.QuaverPro");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "io.github.quaverpro.QuaverPro");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    g_context =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(g_loop), "Quaver Pro", props);
    bool ready = g_context != nullptr;
    if (ready) {
        pa_context_set_state_callback(
            g_context, [](pa_context *, void *) { signalLoop(nullptr); }, nullptr);
        ready = pa_context_connect(g_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                pa_threaded_mainloop_start(g_loop) >= 0;
    }
    if (ready) {
        LoopLock lock;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(g_context);
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state)) {
                ready = state == PA_CONTEXT_READY;
                break;
            }
            pa_threaded_mainloop_wait(g_loop);
        }
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, uint32_t(PulseAudioOutput::kDeviceRate),
                                    2};
        if (ready) {
            g_stream = pa_stream_new_with_proplist(g_context, "Music", &format, nullptr, props);
            g_retry = pa_context_rttime_new(
                g_context, PA_USEC_INVALID,
                [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *) {
                    writeWhatIsAsked();
                },
                nullptr);
        }
        if (g_stream) {
            pa_stream_set_state_callback(
                g_stream, [](pa_stream *, void *) { signalLoop(nullptr); }, nullptr);
            pa_stream_set_write_callback(g_stream, onWriteRequest, nullptr);
            pa_buffer_attr attr;
            attr.maxlength = uint32_t(-1);
            attr.tlength = uint32_t(pa_usec_to_bytes(PulseAudioOutput::kBufferMs * 1000, &format));
            attr.minreq = uint32_t(pa_usec_to_bytes(PulseAudioOutput::kRequestMs * 1000, &format));
            // Playing starts (and resumes after running dry) once one request is
            // there: a file shorter than the buffer must still be heard.
            attr.prebuf = attr.minreq;
            attr.fragsize = uint32_t(-1);
            const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
            ready =
                pa_stream_connect_playback(g_stream, nullptr, &attr, flags, nullptr, nullptr) >= 0;
            for (; ready;) {
                const pa_stream_state_t state = pa_stream_get_state(g_stream);
                if (state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state)) {
                    ready = state == PA_STREAM_READY;
                    break;
                }
                pa_threaded_mainloop_wait(g_loop);
            }
        } else {
            ready = false;
        }
    }
    pa_proplist_free(props);
    if (!ready)
        disconnect();
    else
        SystemVolume::setListener(volumeChanged);
    return ready;
}

} // namespace

PulseAudioOutput::~PulseAudioOutput()
{
    close();
}

bool PulseAudioOutput::serverReachable()
{
    return connected() || connect();
}

int PulseAudioOutput::open(int, RenderFunction render)
{
    close();
    if (!connected() && !connect()) {
        if (!g_reportedFailure) {
            g_reportedFailure = true;
            std::fprintf(stderr, "Quaver Pro: the sound server could not be reached; playing "
                                 "without sound.\n");
        }
        return 0;
    }
    m_render = std::move(render);
    m_open = true;
    return kDeviceRate;
}

void PulseAudioOutput::start()
{
    if (!m_open || !g_loop)
        return;
    LoopLock lock;
    // The server holds this output's own sound (paused), or the tail of a stream
    // that ended: both play on. Another output's sound cut off mid-stream goes.
    const bool keep = g_held == nullptr || g_held == &m_render || g_feed.ended();
    g_feed.attach(&m_render);
    g_held = &m_render;
    if (!keep)
        forget(pa_stream_flush(g_stream, nullptr, nullptr));
    if (pa_stream_is_corked(g_stream))
        forget(pa_stream_cork(g_stream, 0, nullptr, nullptr));
    writeWhatIsAsked();
}

bool PulseAudioOutput::startAfter(AudioOutput& current)
{
    auto *before = dynamic_cast<PulseAudioOutput *>(&current);
    if (!m_open || !before || !before->m_open || before == this || !g_loop)
        return false;
    LoopLock lock;
    g_feed.queue(&m_render);
    return true;
}

void PulseAudioOutput::stop()
{
    if (!m_open || !g_loop)
        return;
    // The callbacks run under the lock: once this returns, the render function is
    // not running.
    LoopLock lock;
    if (!g_feed.detach(&m_render))
        return;
    g_held = &m_render;
    // A stream that ended plays its tail out; one stopped mid-stream pauses at once.
    if (!g_feed.ended())
        forget(pa_stream_cork(g_stream, 1, nullptr, nullptr));
}

void PulseAudioOutput::discardQueued()
{
    if (!m_open || !g_loop)
        return;
    LoopLock lock;
    if (g_held != &m_render)
        return;
    forget(pa_stream_flush(
        g_stream, [](pa_stream *, int, void *) { writeWhatIsAsked(); }, nullptr));
}

void PulseAudioOutput::close()
{
    if (!m_open)
        return;
    stop();
    if (g_loop) {
        // Its sound cut off mid-stream is never wanted again; the tail of its
        // stream that ended plays out.
        LoopLock lock;
        if (g_held == &m_render) {
            if (!g_feed.ended())
                forget(pa_stream_flush(g_stream, nullptr, nullptr));
            g_held = nullptr;
        }
    }
    m_open = false;
    m_render = nullptr;
}
