#pragma once

// Where a session left off, for "Resume Playback": the current item (its index and
// path, so that a list changed in between is noticed), the time played in it, and
// repeat and shuffle. Kept in the user defaults under kKey as a dictionary
// {"Item": int, "Path": string, "Time": float seconds, "Repeat": 0 off, 1 one,
// 2 all, "Shuffle": bool}; a value of any other shape reads as none.
//
// Main thread only (it reads the transport and the user defaults).

#include "app/TransportRules.h"

#include <QString>
#include <optional>

class Transport;

struct ResumePoint {
    static inline const QString kKey = QStringLiteral("Resume Point");
    // The switch on the settings screen that turns resuming on (default off).
    static inline const QString kSwitch = QStringLiteral("Resume Playback");

    int item = 0;
    QString path;
    double seconds = 0;
    PlaybackModes modes;

    bool operator==(const ResumePoint&) const = default;

    // What transport plays (or last played) now.
    static ResumePoint of(const Transport& transport);
    static std::optional<ResumePoint> stored();
    // Into the user defaults, only when it differs from what they hold: an
    // unchanged point must not make the next store rewrite the file.
    void store() const;
    // Cues transport at the point: the item at its index when the list still holds
    // path there, else the first item from its start; the modes in any case.
    void cueOn(Transport& transport) const;
};
