#pragma once

// Reads the music library that a phone keeps on its media partition into a flat
// list of songs. Class operation only, no state; any thread (the library screen
// calls it on a worker). Each call reads everything anew.
//
// The library is two SQLite databases under the media root:
//   <root>/iTunes_Control/iTunes/iTunes Library.itlp/Library.itdb
//     container(pid, name), item(pid, artist, title, album),
//     item_to_container(item_pid, container_pid)
//   <root>/iTunes_Control/iTunes/iTunes Library.itlp/Locations.itdb
//     location(item_pid, location, base_location_id), base_location(id, path)
// Only these columns are relied on; every value is read as text, so ids match by
// their decimal text.
//
// Result, one record per row of item, in that table's order:
//   title, artist, album, pid  from item (a NULL column leaves the field absent);
//   filePath, locationId        from the last location row of the item's pid;
//                               filePath = root / base path / location when the
//                               base location id is in base_location, else
//                               root / location (one "/" between the parts); no
//                               location row, or a NULL location, means no path;
//   playlist                    the container name of the last item_to_container
//                               row of the item's pid; absent when that row names
//                               a container that does not exist;
//   duration                    always absent.
// A NULL id matches nothing. A database that cannot be opened or read, or a table
// that is missing or of another shape, only leaves out what its step would have
// added (no item table: an empty list); a read that stops early keeps the rows
// read so far. Rows are matched through hash tables: linear in the library's size.
//
// The databases are never written, and no file is created beside them: they are
// opened read-only, without creating a -journal, -wal or -shm file. A database in
// WAL mode is read as an immutable file when a plain read-only reader would need
// to make its -wal or -shm (no -wal beside it, or a -shm that cannot be made or
// opened: a read-only mount or copy); changes still in such a -wal are not seen.

#include "itunes/ItunesDesc.h"

#include <QString>

class ItunesHelper {
public:
    ItunesHelper() = delete;

    static QString libraryPath(const QString& mediaRoot);
    static QString locationsPath(const QString& mediaRoot);

    // The songs of the library under mediaRoot (made absolute first).
    static ItunesList iTunesLibrary(const QString& mediaRoot);

    // The parts joined with exactly one "/" between neighbours, whatever slashes
    // they end or start with; empty parts are skipped.
    static QString joinPath(const QStringList& parts);
    static QString joinPath(const QString& head, const QString& tail);
};
