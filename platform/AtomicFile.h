#pragma once

// Whole-file writes that never leave a half-written file: the bytes go to a
// temporary file in the same folder, which is flushed and renamed over the target.
// If anything fails the old file is left as it was.
//
// A new file gets the mode of any file the user makes (0666 less the umask); a
// replaced file keeps its mode.
//
// Thread-safe.

#include <QByteArray>
#include <QString>

namespace AtomicFile {

enum class Mode {
    Replace,   // replace whatever file is at the path
    CreateNew, // fail if a file already exists at the path
};

// True when the file now holds exactly bytes. On failure *error (if given) gets
// the system's reason.
bool write(const QString& path, const QByteArray& bytes, Mode mode = Mode::Replace,
           QString *error = nullptr);

// Renames from to to, never replacing anything at to. 0 on success, otherwise
// the errno (EEXIST when to is taken).
int moveWithoutReplacing(const QString& from, const QString& to);

} // namespace AtomicFile
