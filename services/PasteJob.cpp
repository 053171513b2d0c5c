#include "services/PasteJob.h"

#include "platform/Dispatch.h"
#include "services/FileManager.h"

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Large enough to keep the copy near disk speed, small enough that a cancel or a
// progress step is never more than a few milliseconds away.
constexpr size_t kChunkBytes = 2 * 1024 * 1024;

std::atomic<bool> g_crossDevice{false};
std::mutex g_hookMutex;
std::function<void()> g_chunkHook; // guarded by g_hookMutex

QByteArray join(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray realPath(const QByteArray& path)
{
    std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.constData(), nullptr),
                                                      &::free);
    return resolved ? QByteArray(resolved.get()) : QByteArray();
}

// Bytes of the regular files at path, links not followed.
qint64 sizeOfTree(const QByteArray& path)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return 0;
    if (S_ISREG(info.st_mode))
        return info.st_size;
    if (!S_ISDIR(info.st_mode))
        return 0;
    qint64 total = 0;
    if (DIR *dir = ::opendir(path.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const char *n = entry->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
                continue;
            total += sizeOfTree(join(path, n));
        }
        ::closedir(dir);
    }
    return total;
}

void removeTree(const QByteArray& path)
{
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), error);
}

void keepTimes(int fd, const QByteArray& path, const struct stat& info)
{
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (fd >= 0)
        ::futimens(fd, times);
    else
        ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

PasteJob::PasteJob(Mode mode, QStringList sources, QString destinationFolder, QObject *parent)
    : QObject(parent), m_mode(mode), m_sources(std::move(sources)),
      m_destinationFolder(std::move(destinationFolder))
{}

PasteJob::~PasteJob()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void PasteJob::setCrossDeviceForTesting(bool crossDevice)
{
    g_crossDevice.store(crossDevice);
}

void PasteJob::setChunkHookForTesting(std::function<void()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_chunkHook = std::move(hook);
}

void PasteJob::start()
{
    if (m_started.exchange(true))
        return;
    m_running.store(true);
    m_thread = std::thread([this] {
        work();
        // Queued to the job itself, so nothing arrives once it is destroyed.
        Dispatch::main(this, [this] { Q_EMIT finished(); });
    });
}

void PasteJob::run()
{
    if (m_started.exchange(true))
        return;
    work();
    Q_EMIT finished();
}

void PasteJob::work()
{
    m_running.store(true);
    const QByteArray folder = QFile::encodeName(m_destinationFolder);
    std::vector<QByteArray> sources;
    std::vector<qint64> sizes;
    for (const QString& source : m_sources) {
        sources.push_back(QFile::encodeName(source));
        sizes.push_back(sizeOfTree(sources.back()));
        m_bytesTotal.fetch_add(sizes.back());
    }
    for (size_t i = 0; i < sources.size() && !isCancelled(); ++i) {
        const QByteArray name =
            QFile::encodeName(FileManager::lastPathComponent(m_sources[int(i)]));
        if (name.isEmpty() || name == "/" || name == "." || name == "..")
            continue;
        const qint64 before = m_bytesDone.load();
        pasteItem(sources[i], folder, name);
        // A renamed or skipped item is as done as a copied one.
        if (!isCancelled())
            m_bytesDone.store(before + sizes[i]);
    }
    m_running.store(false);
}

void PasteJob::pasteItem(const QByteArray& source, const QByteArray& folder, const QByteArray& name)
{
    struct stat info;
    if (::lstat(source.constData(), &info) != 0)
        return; // vanished since it was cut or copied
    if (S_ISDIR(info.st_mode)) {
        // A folder copied into itself would grow while it is read; moved, it
        // would vanish into its own subfolder.
        const QByteArray from = realPath(source);
        const QByteArray into = realPath(folder);
        if (from.isEmpty() || into.isEmpty() || from == "/" || into == from ||
            into.startsWith(from + '/'))
            return;
    }
    const QByteArray destination = join(folder, name);
    if (m_mode == Mode::Move && moveItem(source, destination))
        return;
    const Outcome outcome = copyTree(source, destination);
    if (outcome == Outcome::Failed && !isCancelled())
        m_failed.fetch_add(1);
    if (m_mode == Mode::Move && outcome == Outcome::Done)
        removeTree(source);
}

// True when the move is settled (renamed, skipped or failed); false when the item
// must be copied and its source removed instead.
bool PasteJob::moveItem(const QByteArray& source, const QByteArray& destination)
{
    int error = EXDEV;
    if (!g_crossDevice.load())
        error = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(),
                            RENAME_NOREPLACE) == 0
                    ? 0
                    : errno;
    if (error == EINVAL || error == ENOSYS) {
        // The file system cannot rename without replacing: a hard link fails on an
        // existing destination just as atomically (folders cannot be linked, they
        // are copied instead).
        struct stat info;
        if (::lstat(source.constData(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            error = ::linkat(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), 0)
                        ? errno
                        : 0;
            if (error == 0)
                ::unlink(source.constData());
            else if (error == EPERM || error == EOPNOTSUPP || error == EMLINK)
                error = EXDEV; // no hard links here either: copy, then remove
        } else {
            error = EXDEV;
        }
    }
    if (error != 0 && error != EEXIST && error != ENOENT && error != EXDEV)
        m_failed.fetch_add(1);
    return error != EXDEV;
}

PasteJob::Outcome PasteJob::copyTree(const QByteArray& source, const QByteArray& destination)
{
    if (isCancelled())
        return Outcome::Failed;
    struct stat info;
    if (::lstat(source.constData(), &info) != 0)
        return errno == ENOENT ? Outcome::Skipped : Outcome::Failed;

    if (S_ISREG(info.st_mode))
        return copyFile(source, destination, info.st_mode);

    if (S_ISLNK(info.st_mode)) {
        QByteArray target(qMax<qsizetype>(info.st_size, 255) + 1, '\0');
        const ssize_t length = ::readlink(source.constData(), target.data(), size_t(target.size()));
        if (length < 0 || length >= target.size())
            return Outcome::Failed;
        target.truncate(length);
        if (::symlink(target.constData(), destination.constData()) != 0)
            return errno == EEXIST ? Outcome::Skipped : Outcome::Failed;
        keepTimes(-1, destination, info);
        return Outcome::Done;
    }

    if (!S_ISDIR(info.st_mode))
        return Outcome::Incomplete;

    // Made private until it is full, then given the source's permissions, so a
    // read-only folder can still be filled.
    if (::mkdir(destination.constData(), 0700) != 0)
        return errno == EEXIST ? Outcome::Skipped : Outcome::Failed;
    DIR *dir = ::opendir(source.constData());
    if (!dir) {
        ::rmdir(destination.constData());
        return Outcome::Failed;
    }
    bool complete = true;
    while (const dirent *entry = ::readdir(dir)) {
        const char *n = entry->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        const Outcome outcome = copyTree(join(source, n), join(destination, n));
        if (outcome == Outcome::Failed) {
            ::closedir(dir);
            removeTree(destination);
            return Outcome::Failed;
        }
        complete = complete && outcome == Outcome::Done;
    }
    ::closedir(dir);
    ::chmod(destination.constData(), info.st_mode & 07777);
    keepTimes(-1, destination, info);
    return complete ? Outcome::Done : Outcome::Incomplete;
}

PasteJob::Outcome PasteJob::copyFile(const QByteArray& source, const QByteArray& destination,
                                     mode_t mode)
{
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return errno == ENOENT ? Outcome::Skipped : Outcome::Failed;
    // O_EXCL: the destination is checked at the moment it is made, so one that
    // appeared since the paste began is never written over.
    const int out = ::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error == EEXIST ? Outcome::Skipped : Outcome::Failed;
    }

    bool ok = true;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kChunkBytes, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EPERM)) {
                kernelCopy = false;
                buffer.resize(kChunkBytes);
                continue;
            }
        } else {
            n = ::read(in, buffer.data(), buffer.size());
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w = ::write(out, buffer.data() + written, size_t(n - written));
                if (w < 0 && errno != EINTR) {
                    n = -1;
                    break;
                }
                written += qMax<ssize_t>(w, 0);
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        afterChunk(n);
        if (isCancelled()) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (ok) {
        ::fchmod(out, mode & 07777);
        struct stat info;
        if (::stat(source.constData(), &info) == 0)
            keepTimes(out, destination, info);
    }
    if (::close(out) != 0)
        ok = false;
    if (!ok)
        ::unlink(destination.constData());
    return ok ? Outcome::Done : Outcome::Failed;
}

void PasteJob::afterChunk(qint64 bytes)
{
    m_bytesDone.fetch_add(bytes);
    std::function<void()> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_chunkHook;
    }
    if (hook)
        hook();
}
