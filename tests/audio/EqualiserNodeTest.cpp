#include "audio/EqualiserNode.h"

#include "support/EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

constexpr int kRate = 48000;

// Runs a whole buffer through the node in slices of the render thread's size.
void runInSlices(EqualiserNode& node, std::vector<float>& stereo)
{
    const int frames = int(stereo.size() / 2);
    for (int at = 0; at < frames; at += 4096)
        node.process(stereo.data() + 2 * at, std::min(4096, frames - at));
}

} // namespace

// The overlap of neighbouring bands is compensated: what is measured at each centre
// is the preset's curve, shifted down by a pre-gain that keeps the response's peak
// (which may lie between bands) at or below 0 dB, so boosts never clip.
TEST(EqualiserNode, BandCentresGetThePresetGainsAndThePeakStaysBelowFullScale)
{
    const int rock = EQPresets::indexOf(QStringLiteral("Rock"));
    const auto& gains = EQPresets::gains(rock);
    const EqualiserNode::Design d = EqualiserNode::design(gains, kRate);
    for (int b = 0; b < EQPresets::kBandCount; ++b) {
        const double hz = EQPresets::kBandFrequencies[b];
        EqualiserNode node(kRate);
        node.setGains(gains);
        std::vector<float> s(2 * kRate); // one second
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = float(0.5 * std::sin(M_PI * hz * double(i / 2 * 2) / kRate));
        runInSlices(node, s);
        const std::vector<float> left = channel(s, 0);
        const double measured =
            20 * std::log10(toneAmplitude(left, hz, kRate, kRate / 2, kRate) / 0.5);
        EXPECT_NEAR(measured - d.preGainDb, gains[b], 0.25) << hz << " Hz";
    }
    for (const char *name : {"Rock", "R&B"}) {
        const EqualiserNode::Design r =
            EqualiserNode::design(EQPresets::gains(EQPresets::indexOf(QLatin1String(name))), kRate);
        double peakDb = -100;
        for (double hz = 20; hz < 20000; hz *= 1.01)
            peakDb = std::max(peakDb, EqualiserNode::responseDb(r, hz, kRate));
        EXPECT_LE(peakDb, 0.01) << name;
        EXPECT_GT(peakDb, -0.3) << name << ": no more attenuation than needed";
    }
}

// Bands at or above the Nyquist frequency would be unstable; flat bands cost nothing.
TEST(EqualiserNode, BandsAtOrAboveNyquistAndFlatBandsAreLeftOut)
{
    const auto gains = EQPresets::gains(EQPresets::indexOf(QStringLiteral("Treble Booster")));
    const auto last = [&gains](int rate) {
        const EqualiserNode::Design d = EqualiserNode::design(gains, rate);
        return d.sectionCount ? d.sections[size_t(d.sectionCount - 1)].band : -1;
    };
    EXPECT_EQ(last(44100), 9);
    EXPECT_EQ(last(32000), 8) << "16 kHz is the Nyquist frequency at 32 kHz";
    EXPECT_EQ(EqualiserNode::design(gains, 48000).sectionCount, 5);
}
