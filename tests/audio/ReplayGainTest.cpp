#include "audio/ReplayGain.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

float fromDb(double db)
{
    return float(std::pow(10.0, db / 20.0));
}

} // namespace

TEST(ReplayGain, TagTextsAreReadAsTheirWritersMeantAndBadOnesAreIgnored)
{
    for (const auto& [text, db] : {std::pair{"+1.23 dB", 1.23f},
                                   {"-6.5 dB", -6.5f},
                                   {"  -6.5dB ", -6.5f},
                                   {"-6.5", -6.5f},
                                   {"+3 DB", 3.0f}})
        EXPECT_EQ(ReplayGain::parseGainDb(text), db) << text;
    for (const char *bad : {"", "dB", "loud", "nan", "NaN dB", "inf dB", "-100 dB", "+100 dB",
                            "1,5 dB", "1.5 dBm", "+-3 dB", "--3", "0x10"})
        EXPECT_EQ(ReplayGain::parseGainDb(bad), std::nullopt) << bad;

    EXPECT_EQ(ReplayGain::parsePeak("0.988"), 0.988f);
    for (const char *bad : {"0", "-0.5", "nan", "1e9", "0.9 dB", ""})
        EXPECT_EQ(ReplayGain::parsePeak(bad), std::nullopt) << bad;

    // Q7.8 relative to -23 LUFS, 5 dB added for the 89 dB reference.
    EXPECT_EQ(ReplayGain::parseR128Db("-1280"), 0.0f);
    EXPECT_EQ(ReplayGain::parseR128Db("+384"), 6.5f);
    for (const char *bad : {"1.5", "-32768", "40000", "-1280 dB", "x"})
        EXPECT_EQ(ReplayGain::parseR128Db(bad), std::nullopt) << bad;

    // An R128 gain wins over a ReplayGain one; a damaged one leaves the other.
    const std::map<std::string, std::string> tags = {
        {"R128_TRACK_GAIN", "-3328"},         {"REPLAYGAIN_TRACK_GAIN", "+2 dB"},
        {"REPLAYGAIN_TRACK_PEAK", "0.5"},     {"R128_ALBUM_GAIN", "garbage"},
        {"REPLAYGAIN_ALBUM_GAIN", "-9.5 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "NaN"}};
    const ReplayGain::Tags read = ReplayGain::read([&](const char *key) -> const char * {
        const auto it = tags.find(key);
        return it == tags.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(read, (ReplayGain::Tags{-8.0f, 0.5f, -9.5f, std::nullopt}));
}

TEST(ReplayGain, TheModeChoosesTheGainAndThePeakKeepsItAtOrBelowFullScale)
{
    using Mode = ReplayGain::Mode;
    const ReplayGain::Tags both{-8.0f, 0.5f, -10.0f, 0.9f};
    EXPECT_EQ(ReplayGain::linearGain(both, Mode::Off), 1.0f);
    EXPECT_EQ(ReplayGain::linearGain({}, Mode::Off), 1.0f);
    EXPECT_FLOAT_EQ(ReplayGain::linearGain(both, Mode::Track), fromDb(-8));
    EXPECT_FLOAT_EQ(ReplayGain::linearGain(both, Mode::Album), fromDb(-10));
    // Each mode falls back to the other gain, and to the fixed one without either.
    const ReplayGain::Tags trackOnly{-8.0f, std::nullopt, std::nullopt, std::nullopt};
    const ReplayGain::Tags albumOnly{std::nullopt, std::nullopt, -10.0f, std::nullopt};
    EXPECT_FLOAT_EQ(ReplayGain::linearGain(trackOnly, Mode::Album), fromDb(-8));
    EXPECT_FLOAT_EQ(ReplayGain::linearGain(albumOnly, Mode::Track), fromDb(-10));
    EXPECT_FLOAT_EQ(ReplayGain::linearGain({}, Mode::Album), fromDb(ReplayGain::kUntaggedGainDb));
    // A boost stops where the peak reaches full scale; without a peak it is whole.
    EXPECT_FLOAT_EQ(ReplayGain::linearGain({12.0f, 0.5f, std::nullopt, std::nullopt}, Mode::Track),
                    2.0f);
    EXPECT_FLOAT_EQ(ReplayGain::linearGain({12.0f, std::nullopt, 9.0f, std::nullopt}, Mode::Track),
                    fromDb(12));
    // The album gain with no album peak is held by the track's.
    EXPECT_FLOAT_EQ(ReplayGain::linearGain({0.0f, 0.25f, 20.0f, std::nullopt}, Mode::Album), 4.0f);
}
