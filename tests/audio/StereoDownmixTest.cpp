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

TEST(StereoDownmix, FivePointOneFoldsWithItuCoefficients)
{
    const StereoDownmix mix(6); // FL FR FC LFE BL BR
    const auto [fl, flR] = only(mix, 0);
    const auto [frL, fr] = only(mix, 1);
    const auto [cL, cR] = only(mix, 2);
    const auto [lfeL, lfeR] = only(mix, 3);
    const auto [blL, blR] = only(mix, 4);
    EXPECT_GT(fl, 0.0f);
    EXPECT_EQ(flR, 0.0f);
    EXPECT_EQ(frL, 0.0f);
    EXPECT_EQ(fr, fl);
    EXPECT_EQ(cL, cR);
    EXPECT_NEAR(cL / fl, 0.7071f, 1e-4f);
    EXPECT_EQ(lfeL, 0.0f);
    EXPECT_EQ(lfeR, 0.0f);
    EXPECT_NEAR(blL / fl, 0.7071f, 1e-4f);
    EXPECT_EQ(blR, 0.0f);

    // Every channel at full scale at once stays within full scale.
    int16_t loud[6];
    std::fill(std::begin(loud), std::end(loud), int16_t(-32768));
    float out[2];
    mix.convert(loud, out, 1);
    EXPECT_GE(out[0], -1.0f);
    EXPECT_LT(out[0], -0.99f);
    EXPECT_EQ(out[0], out[1]);
}

TEST(StereoDownmix, EveryChannelCountKeepsLeftAndRightApart)
{
    for (int channels = 2; channels <= 8; ++channels) {
        const StereoDownmix mix(channels);
        const auto [l0, r0] = only(mix, 0);
        const auto [l1, r1] = only(mix, 1);
        EXPECT_GT(l0, 0.0f) << channels;
        EXPECT_EQ(r0, 0.0f) << channels;
        EXPECT_EQ(l1, 0.0f) << channels;
        EXPECT_EQ(r1, l0) << channels;
        float sumL = 0, sumR = 0;
        for (int ch = 0; ch < channels; ++ch)
            sumL += mix.leftGain(ch), sumR += mix.rightGain(ch);
        EXPECT_LE(sumL * 32768.0f, 1.0001f) << channels;
        EXPECT_NEAR(sumL, sumR, 1e-6f) << channels;
    }
}
