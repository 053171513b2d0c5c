#pragma once

// The playlist store: one file per playlist, "<Documents>/Quaver/<name>.qv", each a
// keyed archive of the playlist's records in play order. Every change rewrites the
// whole file through a temporary file renamed over the old one, so a reader never
// sees a half-written playlist.
//
// Failures are reported to the user by the store itself, in alerts with fixed
// texts, and by the results (false / nothing).
//
// A name is the file name without ".qv". The empty name (it would be the hidden,
// never listed ".qv") and names that hold "/" or NUL, or are "." or "..", are
// refused with "The operation was not successful. Please choose another name.":
// every name stays listable and inside the playlist folder.
//
// Thread-safe; writes are started from the main thread, contentsForPlaylist() is
// also called from workers (its alerts are shown on the main thread).

#include "media/MediaDesc.h"

#include <QString>
#include <QStringList>
#include <optional>

class PlaylistHelper {
public:
    static QString playlistFolder();
    // True if anything (file or folder) is at the playlist folder's path.
    static bool playlistFolderExist();
    // True if the folder was created or already was a folder.
    static bool createPlaylistFolder();
    // Shows a message with one "OK" button; an empty title means none.
    static void displayAlertWithTitle(const QString& title, const QString& message);

    // Playlist names in the folder's listing order; nothing (and a message) when
    // there is no playlist folder yet or it cannot be listed.
    static std::optional<QStringList> availablePlaylists();
    static QString pathForPlaylist(const QString& name);
    // The playlist's records; nothing (and a message) when the playlist does not
    // exist or its file cannot be read as a playlist (the file is left untouched).
    static std::optional<MediaList> contentsForPlaylist(const QString& name);

    // crateFlag true: a new playlist; when the name is taken, the first free name
    // of "<name>1" ... "<name>999" is used. crateFlag false: the playlist's file is
    // replaced (or created). Announces the outcome. True when a file was written;
    // a playlist folder that cannot be made or a write that fails is reported
    // ("The operation was not successful") and gives false, never "created".
    // Playlists are made with mode 0666 less the umask.
    static bool createPlaylistWithName(const QString& name, const MediaList& items, bool crateFlag);
    // createPlaylistWithName() without the announcement, for callers that fold the
    // outcome into a message of their own: the name written (nothing on failure)
    // and the message the store would have shown.
    struct Saved {
        std::optional<QString> name;
        QString message;
    };
    static Saved savePlaylistWithName(const QString& name, const MediaList& items, bool crateFlag);
    // Silent on success; never replaces an existing playlist.
    static bool renamePlaylistWithName(const QString& name, const QString& newName);
    static bool deletePlaylistWithName(const QString& name);

    // How many numbered names are tried for a new playlist whose name is taken.
    static constexpr int kMaxNameSuffix = 999;

private:
    static bool isAcceptableName(const QString& name);
    static bool passesRenameDeleteGate(const QString& name);
};
