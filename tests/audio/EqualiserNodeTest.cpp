#include "audio/EqualiserNode.h"

#include "support/EngineTestSupport.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

constexpr int kRate = 48000;

std::vector<float> noise(int frames, quint32 seed)
{
    QRandomGenerator rng(seed);
    std::vector<float> s(size_t(frames) * 2);
    for (float& v : s)
        v = float(rng.generateDouble() * 1.6 - 0.8);
    return s;
}

// Runs a whole buffer through the node in slices of the given sizes (cycled).
void runInSlices(EqualiserNode& node, std::vector<float>& stereo, const std::vector<int>& sizes)
{
    const int frames = int(stereo.size() / 2);
    size_t k = 0;
    for (int at = 0; at < frames;) {
        const int n = std::min(sizes[k++ % sizes.size()], frames - at);
        node.process(stereo.data() + 2 * at, n);
        at += n;
    }
}

// The cascade of a design as textbook peaking biquads in double precision:
// a different structure with the same transfer function.
std::vector<float> reference(const EqualiserNode::Design& d, std::vector<float> stereo)
{
    const double pre = std::pow(10.0, d.preGainDb / 20.0);
    for (float& v : stereo)
        v = float(v * pre);
    for (int s = 0; s < d.sectionCount; ++s) {
        const double hz = EQPresets::kBandFrequencies[d.sections[s].band];
        const double a = std::pow(10.0, d.sections[s].gainDb / 40.0);
        const double w0 = 2 * M_PI * hz / kRate, alpha = std::sin(w0) / (2 * std::sqrt(2.0));
        const double a0 = 1 + alpha / a;
        const double b0 = (1 + alpha * a) / a0, b1 = -2 * std::cos(w0) / a0,
                     b2 = (1 - alpha * a) / a0, a1 = b1, a2 = (1 - alpha / a) / a0;
        for (int ch = 0; ch < 2; ++ch) {
            double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            for (size_t i = size_t(ch); i < stereo.size(); i += 2) {
                const double x = stereo[i];
                const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
                x2 = x1, x1 = x, y2 = y1, y1 = y;
                stereo[i] = float(y);
            }
        }
    }
    return stereo;
}

} // namespace

TEST(EqualiserNode, FlatIsAnExactBypassAndOtherPresetsMatchTheCascadeWhateverTheSlices)
{
    EqualiserNode flat(kRate);
    flat.setGains(EQPresets::gains(EQPresets::indexOf(QStringLiteral("Rock"))));
    std::vector<float> warm = noise(5000, 1);
    runInSlices(flat, warm, {4096}); // state that a bypass must not leak
    flat.setGains(EQPresets::gains(EQPresets::indexOf(QStringLiteral("Flat"))));
    const std::vector<float> in = noise(20000, 7);
    std::vector<float> out = in;
    runInSlices(flat, out, {4096});
    EXPECT_EQ(out, in);

    // Every active-band count (odd ones are padded) and slices shorter than,
    // equal to and longer than the pipeline.
    for (const char *name : {"Rock", "Bass Booster", "Latin", "Treble Reducer", "Pop", "Deep"}) {
        const auto gains = EQPresets::gains(EQPresets::indexOf(QString::fromLatin1(name)));
        const std::vector<float> expected = reference(EqualiserNode::design(gains, kRate), in);
        for (const std::vector<int>& sizes :
             std::vector<std::vector<int>>{{4096}, {1, 2, 3, 9, 10, 11, 19, 20, 21, 333}}) {
            EqualiserNode node(kRate);
            node.setGains(gains);
            out = in;
            runInSlices(node, out, sizes);
            double worst = 0;
            for (size_t i = 0; i < out.size(); ++i)
                worst = std::max(worst, double(std::abs(out[i] - expected[i])));
            EXPECT_LT(worst, 2e-5) << name << " with " << sizes.size() << " slice sizes";
        }
    }
}

// The overlap of neighbouring bands is compensated: what is measured at each centre
// is the preset's curve, shifted down by a pre-gain that keeps the response's peak
// (which may lie between bands) at or below 0 dB, so boosts never clip.
TEST(EqualiserNode, BandCentresGetThePresetGainsAndThePeakStaysBelowFullScale)
{
    const int rock = EQPresets::indexOf(QStringLiteral("Rock"));
    const auto& gains = EQPresets::gains(rock);
    const EqualiserNode::Design d = EqualiserNode::design(gains, kRate);
    EXPECT_EQ(d.sectionCount, 10);
    for (int b = 0; b < EQPresets::kBandCount; ++b) {
        const double hz = EQPresets::kBandFrequencies[b];
        EqualiserNode node(kRate);
        node.setGains(gains);
        std::vector<float> s(2 * kRate); // one second
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = float(0.5 * std::sin(M_PI * hz * double(i / 2 * 2) / kRate));
        runInSlices(node, s, {4096});
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
    EXPECT_EQ(EqualiserNode::design(gains, 8000).sectionCount, 2) << "1 and 2 kHz only";
    EXPECT_EQ(EqualiserNode::design(gains, 48000).sectionCount, 5);
}
