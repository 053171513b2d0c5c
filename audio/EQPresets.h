#pragma once

// The equaliser's factory presets: a fixed list of named curves over ten bands.
// An index into this list is what CAPlayer::pressetId() and the settings key "EQ"
// carry, so the order of the list never changes; new presets go at the end.
//
// Immutable data; any thread except the render thread (the first call builds the
// name list).

#include <QString>
#include <QStringList>
#include <array>

class EQPresets {
public:
    static constexpr int kBandCount = 10;
    // Centre frequencies of the bands, Hz.
    static constexpr std::array<float, kBandCount> kBandFrequencies = {
        32.0f, 64.0f, 125.0f, 250.0f, 500.0f, 1000.0f, 2000.0f, 4000.0f, 8000.0f, 16000.0f};

    using Gains = std::array<float, kBandCount>; // dB per band, in kBandFrequencies order

    static int count();
    // True when index is a position in the list.
    static bool contains(qint64 index) { return index >= 0 && index < count(); }
    // The preset's name / band gains; index must satisfy contains().
    static QString name(int index);
    static const Gains& gains(int index);
    // All names in list order.
    static const QStringList& names();
    // The position of the preset with this name, or -1.
    static int indexOf(const QString& name);
};
