#include "audio/StereoDownmix.h"

#include <algorithm>

namespace {

constexpr float kScale = 1.0f / 32768.0f;
constexpr float kMinus3dB = 0.70710678f;

enum Position { FL, FR, FC, LFE, BL, BR, BC, SL, SR };

// FFmpeg's default layout for each channel count.
constexpr std::array<std::array<int, 8>, 9> kLayouts = {{
    {},
    {FC},
    {FL, FR},
    {FL, FR, FC},
    {FL, FR, BL, BR},
    {FL, FR, FC, BL, BR},
    {FL, FR, FC, LFE, BL, BR},
    {FL, FR, FC, LFE, BC, SL, SR},
    {FL, FR, FC, LFE, BL, BR, SL, SR},
}};

} // namespace

StereoDownmix::StereoDownmix(int channels)
    : m_stride(std::max(channels, 1)), m_channels(std::min(m_stride, int(kMaxChannels)))
{
    if (m_channels == 1) {
        m_left[0] = m_right[0] = kScale;
        return;
    }
    float sumLeft = 0, sumRight = 0;
    for (int ch = 0; ch < m_channels; ++ch) {
        float l = 0, r = 0;
        switch (kLayouts[m_channels][ch]) {
        case FL:
            l = 1;
            break;
        case FR:
            r = 1;
            break;
        case FC:
            l = r = kMinus3dB;
            break;
        case BL:
        case SL:
            l = kMinus3dB;
            break;
        case BR:
        case SR:
            r = kMinus3dB;
            break;
        case BC:
            l = r = 0.5f;
            break;
        default:
            break;
        }
        m_left[ch] = l;
        m_right[ch] = r;
        sumLeft += l;
        sumRight += r;
    }
    // Normalise so that full-scale input on every channel at once cannot clip.
    const float norm = 1.0f / std::max({1.0f, sumLeft, sumRight});
    for (int ch = 0; ch < m_channels; ++ch) {
        m_left[ch] *= norm * kScale;
        m_right[ch] *= norm * kScale;
    }
}

void StereoDownmix::convert(const int16_t *in, float *out, int frames) const
{
    switch (m_stride) {
    case 1:
        for (int i = 0; i < frames; ++i)
            out[2 * i] = out[2 * i + 1] = in[i] * kScale;
        return;
    case 2:
        for (int i = 0; i < 2 * frames; ++i)
            out[i] = in[i] * kScale;
        return;
    default:
        break;
    }
    const int n = m_channels;
    for (int i = 0; i < frames; ++i) {
        const int16_t *frame = in + i * m_stride;
        float l = 0, r = 0;
        for (int ch = 0; ch < n; ++ch) {
            l += frame[ch] * m_left[ch];
            r += frame[ch] * m_right[ch];
        }
        out[2 * i] = l;
        out[2 * i + 1] = r;
    }
}
