#pragma once

// Whole-file writes that never leave a half-written file: the bytes go to a
// temporary file in the same folder (".<name>.<8 hex digits>"), which is synced
// and renamed over the target. If any write, the sync or the close fails (a full
// disk, a read-only folder, a file-size limit), the temporary file is removed,
// the old file is left as it was, and the caller is told.
//
// A new file gets the mode of any file the user makes (0666 less the umask); a
// replaced file keeps its mode.
//
// Thread-safe.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

namespace AtomicFile {

enum class Mode {
    Replace,   // replace whatever file is at the path
    CreateNew, // fail if a file already exists at the path
};

// True when the file now holds exactly bytes. On failure nothing at path has
// changed and *error (if given) gets the system's reason. A symbolic link at path
// is replaced by the file, not written through.
bool write(const QString& path, const QByteArray& bytes, Mode mode = Mode::Replace,
           QString *error = nullptr);

// Takes the next piece of the file's bytes; false when it could not be written
// (the producer then stops).
using Sink = std::function<bool(QByteArrayView piece)>;
// As above, for bytes that are made as they are written (a large file need not be
// held whole): produce hands them to its sink in order and returns whether it
// handed over all of them. Called once, on this thread; a false return without
// a failed write also leaves path as it was (the error is then ECANCELED's).
bool write(const QString& path, const std::function<bool(const Sink& sink)>& produce,
           Mode mode = Mode::Replace, QString *error = nullptr);

// Removes the temporary files that writes of path left behind when the program
// was killed, in path's folder, once they are a minute old (a younger one may be
// a write still under way). Other files are never touched.
void removeLeftovers(const QString& path);

// Renames from to to, never replacing anything at to. 0 on success, otherwise
// the errno (EEXIST when to is taken).
int moveWithoutReplacing(const QString& from, const QString& to);

} // namespace AtomicFile
