#include "audio/MixerNode.h"

void MixerNode::setReplayGain(float gain, bool glide)
{
    if (!glide)
        m_current = gain; // the volume limit still glides from 1 as it always has
    m_replayGain.store(gain, std::memory_order_relaxed);
}

void MixerNode::process(float *stereo, int frames)
{
    const float target =
        m_replayGain.load(std::memory_order_relaxed) * m_target.load(std::memory_order_relaxed);
    if (frames <= 0)
        return;
    if (target == m_current) {
        if (target != 1.0f)
            for (int i = 0; i < 2 * frames; ++i)
                stereo[i] *= target;
        return;
    }
    const float from = m_current;
    const float step = (target - from) / float(frames);
    for (int i = 0; i < frames; ++i) {
        // The last frame lands exactly on the target.
        const float g = i + 1 == frames ? target : from + step * float(i + 1);
        stereo[2 * i] *= g;
        stereo[2 * i + 1] *= g;
    }
    m_current = target;
}
