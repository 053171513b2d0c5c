#pragma once

// Playlists exchanged with other players as text files.
//
// Export writes extended M3U, UTF-8 ("#EXTM3U", then per record
// "#EXTINF:<seconds>,<name>" and the absolute path): seconds is the record's
// "m:ss" (or "h:mm:ss") duration in whole seconds, -1 when absent or unreadable;
// name is "artist - title", the title alone, the artist alone, or the file's name
// without extension, as the player shows the song.
//
// Import reads ".m3u", ".m3u8" and ".pls" (by extension, any case) into absolute
// paths of existing files, in list order. Comments and "#EXT" lines are skipped;
// a relative entry is resolved against the list's folder; "file://" URLs become
// paths, other URLs ("scheme://") and entries without a file are skipped and
// counted. A PLS takes the "FileN=" keys of its "[playlist]" section in N order.
// A UTF-8 byte order mark and CRLF line ends are accepted. ".m3u8" must be UTF-8;
// ".m3u" and ".pls" are read as UTF-8 when valid, else as Latin-1.
//
// Class operations only, no state; thread-safe unless said otherwise. Nothing is
// shown from here: each operation returns a Result whose Failure (or announcement)
// holds what the user is told, and the screen that asked shows it (StoreAlerts).

#include "media/MediaDesc.h"
#include "playlists/PlaylistHelper.h"
#include "services/Result.h"

#include <QString>
#include <QStringList>

class PlaylistInterchange {
public:
    PlaylistInterchange() = delete;

    // Larger files are refused unread: no real list of paths comes near it.
    static constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

    // The extended M3U text of items. Records without a path, or whose path holds
    // a line break (a line-based file cannot carry it), are left out.
    static QByteArray m3uWithItems(const MediaList& items);
    // Writes m3uWithItems(items) to path atomically. Fails with "Error !!!" and the
    // system's reason; any file at path is then left as it was.
    static Result<void> exportItems(const MediaList& items, const QString& path);

    struct Entries {
        QStringList paths; // absolute, existing files, in list order
        int skipped = 0;   // URLs and entries without a file
    };
    // The entries of the playlist file at path. Fails, with a message naming the
    // file and the reason, when the file cannot be read, is over kMaxFileBytes, has
    // an unknown extension, holds binary data, is a ".m3u8" that is not UTF-8, or
    // is a PLS without a "[playlist]" section.
    static Result<Entries> entriesOfFile(const QString& path);

    // A playlist file read for import: its records, made as the player's append
    // makes them, and the entries left out (URLs, missing files, entries without
    // tags to read). Any thread: opens each listed file, so a long list takes a
    // while and belongs on a worker. Fails as entriesOfFile().
    struct Import {
        QString name; // the file's base name
        MediaList records;
        int skipped = 0;
    };
    static Result<Import> readImport(const QString& path);
    // Saves an import through the store as a new playlist named after the file (the
    // store picks a free numbered name when it is taken). The announcement is the
    // store's own text, then " %1 songs imported." and, when entries were left out,
    // " %1 entries skipped."; a failure is the store's. Main thread, as every write
    // of the store.
    static Result<PlaylistHelper::Saved> saveImport(const Import& import);
};
