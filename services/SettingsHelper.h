#pragma once

// The one writer of the settings dictionary (see SettingsKeys.h) and its usual
// reader. Readers take the dictionary fresh from the user defaults at each use.
//
// A value of the wrong type (a hand-edited or damaged store) counts as absent.
// Nothing here can fail in a way the user is told of (the store's own write
// failures are not examined), and nothing is shown from here.
// Main thread only, except the readers, which any worker may call.

#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

class SettingsHelper {
public:
    // Merges one key into the dictionary and writes the store to disk at once.
    static void setSettings(const QString& key, const QVariant& value);

    // The stored dictionary, or an empty one when none is stored.
    static QVariantMap settingsDict();
    // The stored dictionary, or nothing when none has ever been written.
    static std::optional<QVariantMap> storedSettingsDict();

    // A switch's state by row title ("Home Folder") or key ("HomeFolder").
    static bool getSwitchStateForSettingWithName(const QString& name);

    // The active bookmark's path when the home-folder switch is on and the stored
    // index points into the list; nothing otherwise.
    static std::optional<QString> activeBookmark();
    // Appends the path (duplicates too). Telling the user is the caller's part.
    static void addBookmarkWithPath(const QString& path);
    // Removes the first entry equal to path (and any entry that is not a path). The
    // active index keeps pointing at the same folder: it moves down by the number
    // of entries removed before it, and becomes -1 when the active entry itself is
    // removed or the list is emptied.
    static void removeBookmarkWithName(const QString& path);
    // The stored bookmarks (non-string entries skipped).
    static QStringList bookmarks();

    // Typed readers over a dictionary: the value under key when it has the right
    // type, else nothing. Booleans accept true/false and whole numbers; integers
    // accept whole numbers only; floats accept any finite number.
    static std::optional<bool> boolValue(const QVariantMap& dict, const QString& key);
    static std::optional<qint64> intValue(const QVariantMap& dict, const QString& key);
    static std::optional<float> floatValue(const QVariantMap& dict, const QString& key);
};
