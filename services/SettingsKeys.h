#pragma once

// The keys of the settings dictionary (stored under "Settings" in the user
// defaults) and their defaults. Every reader and writer uses these names.

#include <QString>

namespace SettingsKeys {

// The user-defaults key that holds the settings dictionary.
inline const QString Settings = QStringLiteral("Settings");

// Switches. Their keys are the row titles without blanks ("Shake To Shuffle").
inline const QString ShakeToShuffle = QStringLiteral("ShakeToShuffle"); // bool, default false
inline const QString HomeFolder = QStringLiteral("HomeFolder");         // bool, default false

// Bookmarked folders: full paths in the order added (string list, default empty).
inline const QString Bookmarks = QStringLiteral("Bookmarks");
// Index into Bookmarks of the active one; -1 means none (integer, default none).
// It is an index, not a path: it may point past the end of the list.
inline const QString ActiveBookmark = QStringLiteral("ActiveBookmark");

// Index of the equaliser preset (integer; absent: no preset is set).
inline const QString EQ = QStringLiteral("EQ");
// Volume limit as a linear gain, 0.0 ... 1.0.
inline const QString VolumeLimit = QStringLiteral("VolumeLimit");
inline constexpr float kDefaultVolumeLimit = 1.0f;
inline constexpr float kMinVolumeLimit = 0.0f;
inline constexpr float kMaxVolumeLimit = 1.0f;
// Playback rate factor, 0.5 ... 2.0.
inline const QString PlaybackRate = QStringLiteral("PlaybackRate");
inline constexpr float kDefaultPlaybackRate = 1.0f;
inline constexpr float kMinPlaybackRate = 0.5f;
inline constexpr float kMaxPlaybackRate = 2.0f;

} // namespace SettingsKeys
