#include "audio/ReplayGain.h"

#include <charconv>
#include <cmath>

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A number at the start of text (a leading '+' allowed; from_chars is locale-free,
// so "1,5" never reads as 1.5 nor as 1); rest is what follows it, trimmed.
template <typename T> std::optional<T> leadingNumber(std::string_view text, std::string_view *rest)
{
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
        return std::nullopt;
    *rest = trimmed(text.substr(size_t(end - text.data())));
    return value;
}

bool isDecibelUnit(std::string_view unit)
{
    return unit.empty() || (unit.size() == 2 && (unit[0] == 'd' || unit[0] == 'D') &&
                            (unit[1] == 'b' || unit[1] == 'B'));
}

std::optional<float> plausibleGain(double db)
{
    if (!std::isfinite(db) || std::abs(db) > double(ReplayGain::kMaxGainDb))
        return std::nullopt;
    return float(db);
}

} // namespace

std::optional<float> ReplayGain::parseGainDb(std::string_view text)
{
    std::string_view rest;
    const std::optional<double> db = leadingNumber<double>(text, &rest);
    if (!db || !isDecibelUnit(rest))
        return std::nullopt;
    return plausibleGain(*db);
}

std::optional<float> ReplayGain::parsePeak(std::string_view text)
{
    std::string_view rest;
    const std::optional<double> peak = leadingNumber<double>(text, &rest);
    if (!peak || !rest.empty() || !std::isfinite(*peak) || *peak <= 0.0 || *peak > 1e6)
        return std::nullopt;
    return float(*peak);
}

std::optional<float> ReplayGain::parseR128Db(std::string_view text)
{
    std::string_view rest;
    const std::optional<int32_t> q78 = leadingNumber<int32_t>(text, &rest);
    if (!q78 || !rest.empty() || *q78 < INT16_MIN || *q78 > INT16_MAX)
        return std::nullopt;
    return plausibleGain(*q78 / 256.0 + double(kR128ToReplayGainDb));
}

ReplayGain::Tags ReplayGain::read(const Lookup& value)
{
    auto parsed = [&](const char *key, auto parse) -> std::optional<float> {
        const char *text = value(key);
        return text ? parse(std::string_view(text)) : std::nullopt;
    };
    auto gain = [&](const char *r128Key, const char *key) {
        const std::optional<float> r128 = parsed(r128Key, parseR128Db);
        return r128 ? r128 : parsed(key, parseGainDb);
    };
    Tags tags;
    tags.trackGain = gain("R128_TRACK_GAIN", "REPLAYGAIN_TRACK_GAIN");
    tags.trackPeak = parsed("REPLAYGAIN_TRACK_PEAK", parsePeak);
    tags.albumGain = gain("R128_ALBUM_GAIN", "REPLAYGAIN_ALBUM_GAIN");
    tags.albumPeak = parsed("REPLAYGAIN_ALBUM_PEAK", parsePeak);
    return tags;
}

float ReplayGain::linearGain(const Tags& tags, Mode mode)
{
    if (mode == Mode::Off)
        return 1.0f;
    const bool album = mode == Mode::Album ? tags.albumGain.has_value() : !tags.trackGain;
    const std::optional<float> db = album ? tags.albumGain : tags.trackGain;
    const std::optional<float> peak = album ? (tags.albumPeak ? tags.albumPeak : tags.trackPeak)
                                            : (tags.trackPeak ? tags.trackPeak : tags.albumPeak);
    double gain = std::pow(10.0, double(db.value_or(kUntaggedGainDb)) / 20.0);
    if (db && peak && gain * double(*peak) > 1.0)
        gain = 1.0 / double(*peak);
    return float(gain);
}
