#pragma once

// The keys of the settings dictionary (stored under "Settings" in the user
// defaults). Every reader and writer uses these names. The effect values' ranges
// and defaults are the engine's own (audio/EffectSettings.h).

#include <QString>

namespace SettingsKeys {

// The user-defaults key that holds the settings dictionary.
inline const QString Settings = QStringLiteral("Settings");

// Switches. Their keys are the row titles without blanks ("Shake To Shuffle").
inline const QString ShakeToShuffle = QStringLiteral("ShakeToShuffle"); // bool, default false
inline const QString HomeFolder = QStringLiteral("HomeFolder");         // bool, default false
inline const QString ResumePlayback = QStringLiteral("ResumePlayback"); // bool, default false

// Bookmarked folders: full paths in the order added (string list, default empty).
inline const QString Bookmarks = QStringLiteral("Bookmarks");
// Index into Bookmarks of the active one; -1 means none (integer, default none).
// It is an index, not a path: it may point past the end of the list.
inline const QString ActiveBookmark = QStringLiteral("ActiveBookmark");

// Index of the equaliser preset (integer; absent: no preset is set).
inline const QString EQ = QStringLiteral("EQ");
// Volume limit as a linear gain (float).
inline const QString VolumeLimit = QStringLiteral("VolumeLimit");
// Playback rate factor (float).
inline const QString PlaybackRate = QStringLiteral("PlaybackRate");
// ReplayGain mode: 0 off, 1 track, 2 album (integer, ReplayGain::Mode; default off).
inline const QString ReplayGain = QStringLiteral("ReplayGain");
// Whether the playback rate keeps the pitch (bool, default false: varispeed). A
// switch row, so its key is also its title without blanks ("Keep Pitch").
inline const QString KeepPitch = QStringLiteral("KeepPitch");

} // namespace SettingsKeys
