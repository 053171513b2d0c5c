#include "platform/AtomicFile.h"

#include "platform/SystemError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

// A temporary file younger than this may belong to a write still under way.
constexpr int kLeftoverAgeSeconds = 60;

// Opens a new, uniquely named file next to path. Unlike mkstemp (always 0600),
// the kernel gives it 0666 less the umask. -1 with errno on failure.
int createTemporary(const QString& path, QByteArray *tempName)
{
    const QString prefix =
        QFileInfo(path).absolutePath() + QStringLiteral("/.") + QFileInfo(path).fileName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempName = QFile::encodeName(
            prefix + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                               QLatin1Char('0')));
        const int fd = ::open(tempName->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes a rename or link in path's folder durable. Best effort: the file itself
// is already synced, and a folder that cannot be opened leaves nothing to undo.
void syncFolderOf(const QString& path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

bool write(const QString& path, const QByteArray& bytes, Mode mode, QString *error)
{
    return write(
        path, [&](const Sink& sink) { return sink(bytes); }, mode, error);
}

bool write(const QString& path, const std::function<bool(const Sink& sink)>& produce, Mode mode,
           QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray tempName;
    const int fd = createTemporary(path, &tempName);
    if (fd < 0) {
        if (error)
            *error = SystemError::text(errno);
        return false;
    }
    // Every step is checked: a short or failed write (a full disk, a file-size
    // limit), a failed sync or close leaves the target untouched.
    int failure = 0;
    struct stat old {};
    if (mode == Mode::Replace && ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd, old.st_mode & 07777) != 0)
        failure = errno;
    const Sink sink = [&](QByteArrayView bytes) {
        for (qsizetype done = 0; !failure && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                failure = n < 0 ? errno : EIO;
            else
                done += n;
        }
        return !failure;
    };
    if (!failure && !produce(sink) && !failure)
        failure = ECANCELED;
    if (!failure && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (!failure) {
        // Replace: rename() swaps the whole file in one step. CreateNew: link()
        // fails with EEXIST instead of replacing a file that appeared meanwhile.
        const int result = mode == Mode::Replace
                               ? ::rename(tempName.constData(), target.constData())
                               : ::link(tempName.constData(), target.constData());
        if (result != 0)
            failure = errno;
    }
    if (failure || mode == Mode::CreateNew)
        ::unlink(tempName.constData());
    if (failure) {
        if (error)
            *error = SystemError::text(failure);
        return false;
    }
    syncFolderOf(path);
    return true;
}

void removeLeftovers(const QString& path)
{
    const QFileInfo info(path);
    const QString name = QRegularExpression::escape(info.fileName());
    // Ours, and the six random letters and digits of the writer that came before
    // it; a suffix of lower-case letters alone ("backup") is a word, not a leftover.
    const QRegularExpression leftover(
        QStringLiteral("^(\\.%1\\.[0-9a-f]{8}|%1\\.(?![a-z]{6}$)[A-Za-z0-9]{6})$").arg(name));
    const QDateTime settled = QDateTime::currentDateTime().addSecs(-kLeftoverAgeSeconds);
    QDir folder = info.absoluteDir();
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QFileInfo& entry : entries)
        if (leftover.match(entry.fileName()).hasMatch() && entry.lastModified() < settled)
            folder.remove(entry.fileName());
}

int moveWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without RENAME_NOREPLACE: link() refuses an existing target too.
    if (::link(src.constData(), dst.constData()) != 0)
        return errno;
    ::unlink(src.constData());
    return 0;
}

} // namespace AtomicFile
