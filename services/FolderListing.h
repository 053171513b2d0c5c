#pragma once

// One reading of a folder, made on a worker and then only read: its entries in
// the browser's order (sortEntries()), each with its kind and its search key.
//
// The search is a prefix match that ignores case and diacritics: "ab" finds
// "Abba.mp3" and "Ábc" but not "a" or "Cab"; the empty text finds every entry. Keys
// are folded once per reading, so each keystroke only compares prefixes (50,000
// names in about a millisecond).
//
// read() may run on any thread; a FolderListing is immutable afterwards and may be
// shared between threads.

#include "services/FileManager.h"

#include <QList>
#include <QString>
#include <QStringList>

class FolderListing {
public:
    // An empty listing of no folder.
    FolderListing() = default;
    // Reads path; fails as FileManager::readDirectory() does ("Error !!!" with the
    // system's reason).
    static Result<FolderListing> read(const QString& path);

    QString path() const { return m_path; }
    const QList<FileManager::DirectoryEntry>& entries() const { return m_entries; }

    // The indexes of the entries matching text, in listing order; entries whose
    // names start with "." only when withHidden.
    QList<int> matching(const QString& text, bool withHidden = true) const;

    // Folders first, then files; each by name as desktop file managers sort:
    // ignoring case, numbers by value ("Track 2" before "Track 10"), letters in the
    // order of the user's language (English under the C locale, whose own order is
    // by code point). Names that still tie go by code point, so the order is total.
    // One key per name, made without ICU for names of printable ASCII only, so that
    // 50,000 names sort within the browser's budget; call it on a worker.
    static void sortEntries(QList<FileManager::DirectoryEntry>& entries);

    // text without diacritics, case-folded.
    static QString searchKey(const QString& text);

    // What playing a selection adds: each path made absolute and cleaned; a folder
    // becomes the supported files directly inside it (in sortEntries() order;
    // subfolders and an unreadable folder give nothing, without an alert);
    // a file stays as given, in the given order. Supported files whose names are
    // not valid UTF-8 cannot be added; their names (as shown) go to *leftOut.
    static QStringList expandForPlaying(const QStringList& paths, QStringList *leftOut = nullptr);
    // Each path made absolute (against the current folder) and cleaned; empty
    // paths stay empty.
    static QStringList absolutePaths(const QStringList& paths);

private:
    QString m_path;
    QList<FileManager::DirectoryEntry> m_entries;
    QStringList m_keys; // searchKey() of each entry's name
};
