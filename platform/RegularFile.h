#pragma once

// Reading files that may turn out to be something else. A path the user hands us
// can name a FIFO, a device or a socket, and opening one for reading blocks (a
// FIFO with no writer) or has side effects (a terminal, a tape). Every reader of
// the program's inputs (lists, playlists, audio, tags, library databases,
// covers) goes through here first.
//
// Links are followed: a link to a regular file is a regular file. Thread-safe;
// never blocks on the kind of file (it may still wait on a slow disk).

#include <QString>

class QFile;

namespace RegularFile {

// Whether path names a regular file now. For libraries that open the path
// themselves (FFmpeg, TagLib, SQLite); the kind could change between this check
// and their open, which only a user racing the program can do.
bool exists(const QString& path);

// Opens path read-only into file when it is a regular file: the open itself does
// not wait for a writer, and the kind is checked on the opened descriptor. False
// otherwise, with *error (when given) saying why: the system's reason, or "not a
// regular file". The file closes its descriptor.
bool open(QFile& file, const QString& path, QString *error = nullptr);

} // namespace RegularFile
