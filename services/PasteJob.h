#pragma once

// One paste: copies or moves each source, in order, into a destination folder
// under the source's own name. Nothing is ever overwritten, merged or renamed: an
// item whose destination exists at the moment it is written, whose source has
// vanished, or that is a folder going into itself or one of its own subfolders is
// skipped without a message.
//
// Copies keep permission bits and modification times; folders are copied with
// everything inside them, symbolic links as links (never followed), files in
// chunks so that progress and Cancel are prompt. A move is a rename; across file
// systems it is a copy followed by the removal of the source, and the source goes
// only once its whole copy has succeeded. A cancelled or failed copy removes what
// it created of its destination, and never touches a source. Other special files
// (FIFOs, devices, sockets) are not copied; a folder holding one is copied without
// it and, when moved across file systems, its source is kept.
//
// Progress counts the bytes of regular files: bytesTotal() is known once the
// sources have been measured, bytesDone() grows as data is written; an item that
// is renamed or skipped counts whole once it is settled.
//
// Threads: start() runs the paste on a thread of its own and emits finished() on
// the thread that owns the job (the main thread); run() does the same work on the
// calling thread (for workers and tests). cancel(), bytesDone(), bytesTotal() and
// isRunning() may be called from any thread. Destroying the job cancels it and
// waits for its thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <thread>

class PasteJob : public QObject {
    Q_OBJECT
public:
    enum class Mode { Copy, Move };

    // sources: absolute paths; destinationFolder: an absolute folder path.
    PasteJob(Mode mode, QStringList sources, QString destinationFolder, QObject *parent = nullptr);
    ~PasteJob() override;

    // Starts the paste on a thread of its own; ignored after the first start() or run().
    void start();
    // Does the whole paste on the calling thread; returns when it has ended.
    void run();
    // Stops at the next chunk boundary; the item being written is removed.
    void cancel() { m_cancelled.store(true); }

    bool isCancelled() const { return m_cancelled.load(); }
    bool isRunning() const { return m_running.load(); }
    qint64 bytesDone() const { return m_bytesDone.load(); }
    qint64 bytesTotal() const { return m_bytesTotal.load(); }
    // Items that could not be pasted for another reason than an existing
    // destination or a vanished source (valid once the paste has ended).
    int failedItems() const { return m_failed.load(); }

    // Test seams, any thread, for every job: makes each rename fail as if across
    // file systems (EXDEV); calls hook on the paste's thread after each chunk
    // written (nullptr: none).
    static void setCrossDeviceForTesting(bool crossDevice);
    static void setChunkHookForTesting(std::function<void()> hook);

Q_SIGNALS:
    // The paste has ended (done, cancelled or failed). Emitted on the job's thread.
    void finished();

private:
    enum class Outcome { Done, Skipped, Failed, Incomplete };

    void work();
    void pasteItem(const QByteArray& source, const QByteArray& folder, const QByteArray& name);
    Outcome copyTree(const QByteArray& source, const QByteArray& destination);
    Outcome copyFile(const QByteArray& source, const QByteArray& destination, mode_t mode);
    bool moveItem(const QByteArray& source, const QByteArray& destination);
    void afterChunk(qint64 bytes);

    const Mode m_mode;
    const QStringList m_sources;
    const QString m_destinationFolder;
    std::thread m_thread;                 // joined by the destructor
    std::atomic<bool> m_started{false};   // atomic
    std::atomic<bool> m_running{false};   // atomic
    std::atomic<bool> m_cancelled{false}; // atomic
    std::atomic<qint64> m_bytesDone{0};   // atomic, written by the paste's thread
    std::atomic<qint64> m_bytesTotal{0};  // atomic, written by the paste's thread
    std::atomic<int> m_failed{0};         // atomic, written by the paste's thread
};
