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
// One writer per file. A store opened with Access::Exclusive (the default, and
// the standard store's) first takes an exclusive flock() on "<file>.lock" beside
// the file, made when missing; it waits up to kLockWaitMs for a holder that may be
// ending (a copy of the program closed just before this one started). While
// another store holds the lock (a second copy of the program with the same
// configuration folder, or a second store in this process), this one reads the
// file as it is and writes nothing: it says so once on stderr, keeps its values
// for the session only, never moves a damaged file aside and never removes another
// writer's temporary files. The kernel drops the lock when its holder is destroyed
// or its program ends in any way (kill -9 included), so no lock is ever left
// stale. Where no lock can be taken for any other reason (a file system without
// flock, a lock file that cannot be made), the store writes as it did without one.
// Access::ReadOnly takes no lock and never writes (a throwaway run, a look at what
// another program stored).
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
    enum class Access {
        Exclusive, // writes while it holds the file's lock; reads only otherwise
        ReadOnly,  // reads only, and takes no lock
    };

    // The store of this user (created on first use, with the access set below).
    static UserDefaults& standard();
    // How the standard store opens its file; Exclusive unless set before its
    // first use.
    static void setStandardAccess(Access access);
    // Drops the standard store so that the next standard() reads the file again
    // (tests give each test its own config folder).
    static void resetStandardForTesting();

    explicit UserDefaults(QString filePath, Access access = Access::Exclusive);
    // Releases the lock, if it holds it.
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // Invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    bool contains(const QString& key) const;
    void setObject(const QString& key, const QVariant& value);
    void removeObject(const QString& key);

    // Writes the whole store to disk, unless nothing was set or removed since it
    // was read or last written (then the file is left untouched). False if the
    // file could not be written (the old file is then left as it was) or must not
    // be (see isWritable()).
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
    // synchronize(). False when there is no file, no copy could be written, or
    // this store writes nothing (isWritable() is false).
    bool keepDamagedCopy();

    QString filePath() const { return m_path; }
    // "<file>.lock", the file whose lock an Exclusive store takes.
    static QString lockPath(const QString& filePath);
    // False when synchronize() will write nothing this session: opened ReadOnly,
    // the lock held by another store, or the file could not be read.
    bool isWritable() const;

    // Copies tried before keeping one aside gives up.
    static constexpr int kMaxDamagedCopies = 9999;
    // How long an Exclusive store waits for a lock held by another store.
    static constexpr int kLockWaitMs = 1000;

private:
    // Takes the lock; false when another store holds it.
    bool lock();
    void load();
    QString damagedCopyPath(int n) const;

    const QString m_path;   // immutable after construction
    mutable QMutex m_mutex; // guards m_values
    QVariantMap m_values;   // guarded by m_mutex
    quint64 m_changes = 0;  // guarded by m_mutex; counts setObject() calls
    // m_changes as of the last write; read and written under m_writeMutex.
    quint64 m_writtenChanges = 0;
    QMutex m_writeMutex; // serialises synchronize(); held while writing the file
    // Set by the constructor when the file on disk was not read or must not be
    // written (read only, or locked by another store); then never written.
    // Immutable after construction.
    bool m_leaveFileAlone = false;
    int m_lockFd = -1;                    // the open lock file while this store holds the lock
    WriteFailureHandler m_onWriteFailure; // guarded by m_writeMutex
    // The last write failed and was reported. Guarded by m_writeMutex.
    bool m_writeFailing = false;
};
