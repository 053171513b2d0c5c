#pragma once

// The program's toolbox over the file system: questions about a path, folder
// listing, folder creation and batch deletion.
//
// Class-level operations only, no state: each call asks the file system at the
// moment it is made. Every operation is synchronous and may be called from any
// thread except the render thread. Paths are absolute, in the local file-name
// encoding once they reach the system (QFile::encodeName).
//
// Nothing is shown from here: an operation that can fail returns a Result whose
// Failure holds the alert texts, and the screen that asked shows them
// (StoreAlerts). Questions answer false instead.

#include "services/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class FileManager {
public:
    FileManager() = delete;

    // "MP3", "WAV", "FLAC", "OGG", ... (31 upper-case extensions, fixed order):
    // what the FFmpeg decoder reads.
    static const QStringList& supportedExtensions();
    // "MP4", "MOV", "3GP", "MKV", "WEBM", "AVI"; each is also a supported
    // extension. "M4V" and "MPV" are supported but not video.
    static const QStringList& videoExtensions();

    // Path string operations, done on the text only.
    //
    // Last component, trailing "/" ignored: "/a/b/" -> "b", "/" -> "/", "" -> "".
    static QString lastPathComponent(const QString& path);
    // Text after the final "." of the last component; "" when there is none, when
    // the name ends in ".", and for a name whose only "." leads it (".mp3" -> "",
    // ".hidden.mp3" -> "mp3"), so a hidden file is named by its stem, not its type.
    static QString pathExtension(const QString& path);
    // "/a/b" -> "/a", "/a/b/" -> "/a", "/a" -> "/", "/" -> "/", "b" -> "".
    static QString deletingLastPathComponent(const QString& path);
    // Joins with exactly one "/": ("/a", "b") and ("/a/", "b") -> "/a/b";
    // ("/", "b") -> "/b"; ("", "b") -> "b".
    static QString appendingPathComponent(const QString& folder, const QString& name);

    // True if anything exists at the path; symbolic links are followed, so a
    // dangling link does not exist.
    static bool fileExistAtPath(const QString& path);
    // True only if something exists at the path and it is a folder (or a link to one).
    static bool pathIsFolder(const QString& path);
    // True if the extension, upper-cased, is one of supportedExtensions() /
    // videoExtensions(). Looks at the name only: the item need not exist, and a
    // folder named "Album.mp3" passes.
    static bool fileIsSupported(const QString& path);
    static bool isVideoFile(const QString& path);
    // What to tell the user of items whose names are not valid UTF-8 (see
    // DirectoryEntry::nameIsExact), named as shown; empty when names is.
    static QString inexactNamesMessage(const QStringList& names);
    // The first three names in quotes, joined by commas, with "…" for the rest.
    static QString quotedNames(const QStringList& names);
    // lastPathComponent(): the name the browser shows for the folder at path.
    static QString currentFolderName(const QString& path);

    // The folder the browser starts in unless a bookmark says otherwise: the user's
    // home folder ($HOME) with a trailing "/".
    static QString homeFolder();

    // One entry of a folder with its kind. A link counts as what it points to (a
    // dangling link is not a folder), as pathIsFolder() answers.
    struct DirectoryEntry {
        QString name;
        bool isFolder = false;
        // False when the name's bytes are not valid in the file-name encoding
        // (UTF-8): name then holds replacement characters, and a path made from it
        // does not reach the item. Such an entry is shown but cannot be used.
        bool nameIsExact = true;
    };
    // The entries of contentsOfDirectoryAtPath() with their kinds, and its failure.
    // The kind comes from the directory itself; only links, and entries of file
    // systems that do not report kinds, cost a stat.
    static Result<QList<DirectoryEntry>> readDirectory(const QString& path);

    // The names (not paths) of the entries directly inside the folder, in the
    // order the file system gives them: files, folders and links alike, hidden
    // entries included, "." and ".." left out; not recursive, not sorted. An empty
    // folder gives an empty list. Fails (missing, not a folder, unreadable) with
    // "Error !!!" and the system's reason.
    static Result<QStringList> contentsOfDirectoryAtPath(const QString& path);

    // True if the current user may remove the item at path (not followed if it is a
    // link): it exists; its folder is writable and searchable; in a sticky folder the
    // user owns the item or the folder, or is root; neither the item nor its folder
    // is flagged immutable or append-only. Never true for "/" or a path whose last
    // component is "." or "..". The contents of a folder are not examined.
    static bool canDeleteFile(const QString& path);

    // Removes each path in order, a folder with everything inside it, a link
    // without its target. Items that canDeleteFile() refuses are left, as are items
    // whose removal fails (a folder may then be left part-emptied); if there was any,
    // the batch fails once, without a title: "Some of the selected items weren't
    // deleted". An empty collection does nothing.
    static Result<void> deleteAllObjectsFromCollection(const QStringList& paths);

    // Creates the folder and any missing folders above it (mode 0777 less the
    // umask). A folder that already exists is success. Fails without a title with
    // the system's reason ("File exists", "Permission denied", ...).
    static Result<void> createDirAtPath(const QString& path);
    // createDirAtPath() for callers that word the failure themselves: 0 on success
    // (also when it already is a folder), else the errno of the component that
    // failed.
    static int makePath(const QString& path);

    // Replaces the real permission test of canDeleteFile() (after its refusal of
    // "/", "." and ".."), so tests can refuse items while running as root; nullptr
    // restores the real test. Any thread.
    static void setDeletableCheckForTesting(std::function<bool(const QString&)> check);
};
