#pragma once

// Converts 16-bit interleaved PCM of 1 to 8 channels to float stereo in -1 .. 1.
//
// Channel orders are FFmpeg's defaults for each count (1 mono, 2 stereo,
// 3 FL FR FC, 4 FL FR BL BR, 5 FL FR FC BL BR, 6 = 5.1 FL FR FC LFE BL BR,
// 7 = 6.1 FL FR FC LFE BC SL SR, 8 = 7.1 FL FR FC LFE BL BR SL SR). Mono goes to
// both sides; more channels fold down with the ITU-R BS.775 coefficients (centre
// and surrounds at -3 dB, LFE dropped), scaled so that no output can exceed full
// scale.
//
// Immutable after construction; convert() may run on any thread.

#include <array>
#include <cstdint>

class StereoDownmix {
public:
    static constexpr int kMaxChannels = 8;

    explicit StereoDownmix(int channels);

    // Samples per input frame.
    int channels() const { return m_stride; }
    // Gain of input channel ch on the left / right output.
    float leftGain(int ch) const { return m_left[ch]; }
    float rightGain(int ch) const { return m_right[ch]; }

    // frames frames of in (channels() samples each) to frames stereo frames of out.
    void convert(const int16_t *in, float *out, int frames) const;

private:
    int m_stride;   // samples per input frame
    int m_channels; // channels mixed, at most kMaxChannels
    std::array<float, kMaxChannels> m_left{};
    std::array<float, kMaxChannels> m_right{};
};
