#pragma once

// The playlist store: one file per playlist, "<Documents>/Quaver/<name>.qv", each a
// keyed archive of the playlist's records in play order. Every change rewrites the
// whole file through a temporary file renamed over the old one, so a reader never
// sees a half-written playlist.
//
// The store shows nothing. Every operation returns a Result: on failure its
// Failure holds the fixed texts the user is told ("The operation was not
// successful", ...), and the screen that asked shows them (StoreAlerts), also for a
// call made on a worker. A saved playlist's announcement ("Mix has been updated.")
// comes back with the save, for the screen to show the same way.
//
// A name is the file name without ".qv". The empty name (it would be the hidden,
// never listed ".qv") and names that hold "/" or NUL, or are "." or "..", are
// refused with "The operation was not successful. Please choose another name.":
// every name stays listable and inside the playlist folder.
//
// Thread-safe; writes are started from the main thread, contentsForPlaylist() is
// also called from workers.

#include "media/MediaDesc.h"
#include "services/Result.h"

#include <QString>
#include <QStringList>

class PlaylistHelper {
public:
    static QString playlistFolder();
    // True if anything (file or folder) is at the playlist folder's path.
    static bool playlistFolderExist();
    // Succeeds if the folder was created or already was a folder; fails with
    // "Error !!!" and the system's reason.
    static Result<void> createPlaylistFolder();

    // Playlist names in the folder's listing order. Fails with "You have no
    // playlists" when there is no playlist folder yet, and as
    // FileManager::contentsOfDirectoryAtPath() when it cannot be listed.
    static Result<QStringList> availablePlaylists();
    static QString pathForPlaylist(const QString& name);
    // The playlist's records. Fails with the name followed by "Playlist does not
    // exist", or "The operation was not successful" when the file cannot be read as
    // a playlist (the file is left untouched).
    static Result<MediaList> contentsForPlaylist(const QString& name);

    // A written playlist: the name it was written under and the announcement the
    // user is told ("<name> playlist was created.", "<name>1 playlist has been
    // created.", "<name> has been updated.").
    struct Saved {
        QString name;
        QString message;
    };
    // crateFlag true: a new playlist; when the name is taken, the first free name
    // of "<name>1" ... "<name>999" is used. crateFlag false: the playlist's file is
    // replaced (or created). Succeeds only when a file was written: a playlist
    // folder that cannot be made (its "Error !!!" first) or a write that fails gives
    // "The operation was not successful", all numbered names taken "... Please
    // choose another name.". Playlists are made with mode 0666 less the umask.
    static Result<Saved> createPlaylistWithName(const QString& name, const MediaList& items,
                                                bool crateFlag);
    // Success has no message; never replaces an existing playlist. A missing
    // playlist, or a missing folder that cannot be made, gives "The operation was
    // not successful" (after the folder's "Error !!!"); a refused move or removal the
    // system's reason.
    static Result<void> renamePlaylistWithName(const QString& name, const QString& newName);
    static Result<void> deletePlaylistWithName(const QString& name);

    // How many numbered names are tried for a new playlist whose name is taken.
    static constexpr int kMaxNameSuffix = 999;

private:
    static bool isAcceptableName(const QString& name);
    // The playlist folder, made when missing; its failure is followed by "The
    // operation was not successful".
    static Result<void> folderForWriting();
    static Result<void> passRenameDeleteGate(const QString& name);
};
