#include "audio/OfflineAudioOutput.h"

#include <algorithm>
#include <chrono>

OfflineAudioOutput::OfflineAudioOutput(int deviceRate, Mode mode)
    : m_fixedRate(deviceRate), m_mode(mode)
{}

OfflineAudioOutput::~OfflineAudioOutput()
{
    close();
}

int OfflineAudioOutput::open(int preferredRate, RenderFunction render)
{
    close();
    m_rate = m_fixedRate > 0 ? m_fixedRate : preferredRate;
    if (m_rate <= 0)
        m_rate = 48000;
    m_render = std::move(render);
    m_buffer.assign(size_t(kChunkFrames) * 2, 0.0f);
    m_framesRendered.store(0, std::memory_order_relaxed);
    return m_rate;
}

void OfflineAudioOutput::start()
{
    if (!isOpen() || isStarted())
        return;
    m_started.store(true, std::memory_order_release);
    if (m_mode != Mode::Manual)
        m_thread = std::thread([this] { run(); });
}

void OfflineAudioOutput::stop()
{
    m_started.store(false, std::memory_order_release);
    if (m_thread.joinable())
        m_thread.join();
}

void OfflineAudioOutput::close()
{
    stop();
    m_render = nullptr;
    m_rate = 0;
}

int64_t OfflineAudioOutput::pull(int64_t frames)
{
    int64_t done = 0;
    while (done < frames && isStarted() && m_mode == Mode::Manual) {
        const int n = int(std::min<int64_t>(frames - done, kChunkFrames));
        renderChunk(n);
        done += n;
    }
    return done;
}

std::vector<float> OfflineAudioOutput::takeCaptured()
{
    std::vector<float> result;
    result.swap(m_captured);
    return result;
}

void OfflineAudioOutput::renderChunk(int frames)
{
    m_render(m_buffer.data(), frames);
    if (m_capture)
        m_captured.insert(m_captured.end(), m_buffer.begin(), m_buffer.begin() + 2 * frames);
    m_framesRendered.fetch_add(frames, std::memory_order_relaxed);
}

void OfflineAudioOutput::run()
{
    using Clock = std::chrono::steady_clock;
    // A sound card's period: about 21 ms at 48 kHz.
    const int frames = m_mode == Mode::RealTime ? 1024 : kChunkFrames;
    const auto period = std::chrono::duration<double>(double(frames) / m_rate);
    auto deadline = Clock::now();
    while (m_started.load(std::memory_order_acquire)) {
        renderChunk(frames);
        if (m_mode == Mode::RealTime) {
            deadline += std::chrono::duration_cast<Clock::duration>(period);
            std::this_thread::sleep_until(deadline);
        }
    }
}
