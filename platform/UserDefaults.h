#pragma once

// The user-defaults store: one dictionary of property-list values kept in
// "<config>/defaults.plist" (XML). It is read once when first used; synchronize()
// writes it whole through a temporary file that is renamed over the old one. A new
// file gets mode 0666 less the umask; a replaced one keeps its mode.
//
// Nothing stored is overwritten unread:
// - A file that cannot be opened or read (permissions, I/O error) is left exactly
//   as it is. The store starts empty, says so once on stderr, and synchronize()
//   writes nothing for the rest of the session.
// - A file that is read but is not a dictionary is moved aside to the first free
//   "defaults.plist.damaged-N" (N = 1, 2, ...) and the store starts empty; the
//   next synchronize() writes a good file. Older copies are never replaced. If it
//   cannot be moved aside, it is left alone as above.
//
// Thread-safe: the main thread and workers may read and write; never the render
// thread.

#include <QMutex>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class UserDefaults {
public:
    // The store of this user (created on first use).
    static UserDefaults& standard();
    // Drops the standard store so that the next standard() reads the file again
    // (tests give each test its own config folder).
    static void resetStandardForTesting();

    explicit UserDefaults(QString filePath);

    // Invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    bool contains(const QString& key) const;
    void setObject(const QString& key, const QVariant& value);
    void removeObject(const QString& key);

    // Writes the whole store to disk, unless nothing was set or removed since it
    // was read or last written (then the file is left untouched). False if the
    // file could not be written (the old file is then left as it was) or must not
    // be (it could not be read).
    bool synchronize();

    // Told when a write fails (a full disk, a read-only folder), with the system's
    // reason: once for the first failed synchronize() of the session or after one
    // that succeeded, not again while writes go on failing (each synchronize()
    // tries again). One line on stderr goes with it. Called on the thread that
    // synchronizes, with the write lock held: it must only hand the news on.
    using WriteFailureHandler = std::function<void(const QString& reason)>;
    void setWriteFailureHandler(WriteFailureHandler handler);

    // Copies the file as it is on disk now to the first free
    // "defaults.plist.damaged-N", replacing nothing; for a stored value that is
    // found unreadable, before it is overwritten. Waits for a running
    // synchronize(). False when there is no file or no copy could be written.
    bool keepDamagedCopy();

    QString filePath() const { return m_path; }

    // Copies tried before keeping one aside gives up.
    static constexpr int kMaxDamagedCopies = 9999;

private:
    void load();
    QString damagedCopyPath(int n) const;

    const QString m_path;   // immutable after construction
    mutable QMutex m_mutex; // guards m_values
    QVariantMap m_values;   // guarded by m_mutex
    quint64 m_changes = 0;  // guarded by m_mutex; counts setObject() calls
    // m_changes as of the last write; read and written under m_writeMutex.
    quint64 m_writtenChanges = 0;
    QMutex m_writeMutex; // serialises synchronize(); held while writing the file
    // Set by the constructor when the file on disk was not read; then never
    // written. Read under m_writeMutex.
    bool m_leaveFileAlone = false;
    WriteFailureHandler m_onWriteFailure; // guarded by m_writeMutex
    // The last write failed and was reported. Guarded by m_writeMutex.
    bool m_writeFailing = false;
};
