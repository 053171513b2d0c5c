#include "audio/RenderGraph.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

RenderGraph::RenderGraph(PcmSource& source, int deviceRate, std::function<void()> onEnd)
    : m_source(source), m_deviceRate(deviceRate), m_onEnd(std::move(onEnd)),
      m_rate(source, deviceRate), m_equaliser(deviceRate)
{}

void RenderGraph::resume()
{
    if (!m_atEnd.load(std::memory_order_acquire))
        return;
    // The drained resampler is replaced before the render thread sees the flag.
    m_rate.seek(0);
    m_atEnd.store(false, std::memory_order_release);
}

int RenderGraph::render(float *stereo, int frames)
{
    int streamed = 0;
#if defined(__SSE__)
    // Decaying filter tails would otherwise reach denormal range and cost tens of
    // times more per sample; the caller's mode is restored on return.
    const unsigned int csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040); // flush-to-zero and denormals-are-zero
#endif
    for (bool first = true; frames > 0; first = false) {
        const int n = std::min(frames, kMaxSliceFrames);
        int got = renderSlice(stereo, n);
        if (got == kStarvedSlice && first) {
            streamed = kNotReady;
            break;
        }
        streamed += got == kStarvedSlice ? n : got;
        stereo += 2 * n;
        frames -= n;
    }
#if defined(__SSE__)
    _mm_setcsr(csr);
#endif
    return streamed;
}

int RenderGraph::renderSlice(float *stereo, int frames)
{
    if (m_atEnd.load(std::memory_order_acquire)) {
        std::memset(stereo, 0, sizeof(float) * 2 * size_t(frames));
        return 0;
    }
    const RateNode::Result result = m_rate.render(stereo, frames);
    if (result.frames > 0) {
        m_mixer.process(stereo, result.frames);
        m_equaliser.process(stereo, result.frames);
    }
    if (result.frames < frames)
        std::memset(stereo + 2 * result.frames, 0,
                    sizeof(float) * 2 * size_t(frames - result.frames));
    switch (result.status) {
    case RateNode::Status::Ok:
        m_failedSlices = 0;
        break;
    case RateNode::Status::Error:
        if (++m_failedSlices >= kMaxFailedSlices)
            endOfStream();
        break;
    case RateNode::Status::EndOfStream:
        endOfStream();
        return result.frames;
    case RateNode::Status::Starved:
        // Silence until the source catches up; neither a failure nor an end.
        if (result.frames == 0)
            return kStarvedSlice;
        break;
    }
    return atEnd() ? 0 : frames;
}

void RenderGraph::endOfStream()
{
    m_failedSlices = 0;
    m_source.seek(0);
    m_atEnd.store(true, std::memory_order_release);
    if (m_onEnd)
        m_onEnd();
}
