#include "audio/StereoDownmix.h"

#include <gtest/gtest.h>

namespace {

// One frame with value on channel ch only, converted.
std::pair<float, float> only(const StereoDownmix& mix, int ch, int16_t value = 16384)
{
    int16_t frame[8] = {};
    frame[ch] = value;
    float out[2];
    mix.convert(frame, out, 1);
    return {out[0], out[1]};
}

} // namespace

// Every channel count keeps left and right apart within full scale; 5.1 (FL FR FC
// LFE BL BR) folds centre and surrounds at -3 dB and drops the LFE.
TEST(StereoDownmix, ChannelsFoldIntoLeftAndRightWithinFullScale)
{
    for (int channels = 2; channels <= 8; ++channels) {
        SCOPED_TRACE(channels);
        const StereoDownmix mix(channels);
        const auto [l0, r0] = only(mix, 0);
        EXPECT_GT(l0, 0.0f);
        EXPECT_EQ(r0, 0.0f);
        EXPECT_EQ(only(mix, 1), std::make_pair(0.0f, l0));
        float sumL = 0, sumR = 0;
        for (int ch = 0; ch < channels; ++ch)
            sumL += mix.leftGain(ch), sumR += mix.rightGain(ch);
        EXPECT_LE(sumL * 32768.0f, 1.0001f);
        EXPECT_NEAR(sumL, sumR, 1e-6f);
    }
    const StereoDownmix mix(6);
    const float fl = only(mix, 0).first;
    EXPECT_EQ(only(mix, 2).first, only(mix, 2).second);
    EXPECT_NEAR(only(mix, 2).first / fl, 0.7071f, 1e-4f);
    EXPECT_EQ(only(mix, 3), std::make_pair(0.0f, 0.0f));
    EXPECT_NEAR(only(mix, 4).first / fl, 0.7071f, 1e-4f);
    EXPECT_EQ(only(mix, 4).second, 0.0f);
    const int16_t loud[6] = {-32768, -32768, -32768, -32768, -32768, -32768};
    float out[2];
    mix.convert(loud, out, 1);
    EXPECT_LT(out[0], -0.99f) << "full scale, not less";
}
