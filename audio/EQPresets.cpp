#include "audio/EQPresets.h"

namespace {

struct Preset {
    const char *name;
    EQPresets::Gains gains;
};

// Community-measured curves, one row per preset in list order. The table is kept
// in code rather than read from a resource so that a damaged or missing file can
// never shift the indexes that stored settings refer to.
constexpr Preset kPresets[] = {
    {"Flat", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"Acoustic", {5.0f, 4.9f, 3.95f, 1.05f, 2.15f, 1.75f, 3.5f, 4.1f, 3.55f, 2.15f}},
    {"Bass Booster", {5.5f, 4.25f, 3.5f, 2.5f, 1.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"Bass Reducer", {-5.5f, -4.25f, -3.5f, -2.5f, -1.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"Classical", {4.75f, 3.75f, 3.0f, 2.5f, -1.5f, -1.5f, 0.0f, 2.25f, 3.25f, 3.75f}},
    {"Dance", {3.57f, 6.55f, 4.99f, 0.0f, 1.92f, 3.65f, 5.15f, 4.54f, 3.59f, 0.0f}},
    {"Deep", {4.95f, 3.55f, 1.75f, 1.0f, 2.85f, 2.5f, 1.45f, -2.15f, -3.55f, -4.6f}},
    {"Electronic", {4.25f, 3.8f, 1.2f, 0.0f, -2.15f, 2.25f, 0.85f, 1.25f, 3.95f, 4.8f}},
    {"Hip-Hop", {5.0f, 4.25f, 1.5f, 3.0f, -1.0f, -1.0f, 1.5f, -0.5f, 2.0f, 3.0f}},
    {"Jazz", {4.0f, 3.0f, 1.5f, 2.25f, -1.5f, -1.5f, 0.0f, 1.5f, 3.0f, 3.75f}},
    {"Latin", {4.5f, 3.0f, 0.0f, 0.0f, -1.5f, -1.5f, -1.5f, 0.0f, 3.0f, 4.5f}},
    {"Loudness", {6.0f, 4.0f, 0.0f, 0.0f, -2.0f, 0.0f, -1.0f, -5.0f, 5.0f, 1.0f}},
    {"Lounge", {-3.0f, -1.5f, -0.5f, 1.5f, 4.0f, 2.5f, 0.0f, -1.5f, 2.0f, 1.0f}},
    {"Piano", {3.0f, 2.0f, 0.0f, 2.5f, 3.0f, 1.5f, 3.5f, 4.5f, 3.0f, 3.5f}},
    {"Pop", {-1.5f, -1.0f, 0.0f, 2.0f, 4.0f, 4.0f, 2.0f, 0.0f, -1.0f, -1.5f}},
    {"R&B", {2.62f, 6.92f, 5.65f, 1.33f, -2.19f, -1.5f, 2.32f, 2.65f, 3.0f, 3.75f}},
    {"Rock", {5.0f, 4.0f, 3.0f, 1.5f, -0.5f, -1.0f, 0.5f, 2.5f, 3.5f, 4.5f}},
    {"Small Speakers", {5.5f, 4.25f, 3.5f, 2.5f, 1.25f, 0.0f, -1.25f, -2.5f, -3.5f, -4.25f}},
    {"Spoken Word", {-3.46f, -0.47f, 0.0f, 0.69f, 3.46f, 4.61f, 4.84f, 4.28f, 2.54f, 0.0f}},
    {"Treble Booster", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.25f, 2.5f, 3.5f, 4.25f, 5.5f}},
    {"Treble Reducer", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.25f, -2.5f, -3.5f, -4.25f, -5.5f}},
    {"Vocal Booster", {-1.5f, -3.0f, -3.0f, 1.5f, 3.75f, 3.75f, 3.0f, 1.5f, 0.0f, -1.5f}},
};

} // namespace

int EQPresets::count()
{
    return int(std::size(kPresets));
}

QString EQPresets::name(int index)
{
    return QString::fromUtf8(kPresets[index].name);
}

const EQPresets::Gains& EQPresets::gains(int index)
{
    return kPresets[index].gains;
}

const QStringList& EQPresets::names()
{
    static const QStringList list = [] {
        QStringList result;
        for (const Preset& preset : kPresets)
            result.append(QString::fromUtf8(preset.name));
        return result;
    }();
    return list;
}

int EQPresets::indexOf(const QString& presetName)
{
    return int(names().indexOf(presetName));
}
