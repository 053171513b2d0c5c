#include "platform/AtomicFile.h"

#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

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

} // namespace

bool write(const QString& path, const QByteArray& bytes, Mode mode, QString *error)
{
    if (mode == Mode::Replace) {
        // QSaveFile creates with 0666 less the umask and copies an existing file's
        // mode onto its replacement.
        QSaveFile file(path);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.commit()) {
            if (error)
                *error = file.errorString();
            file.cancelWriting();
            return false;
        }
        return true;
    }

    // CreateNew: write a temporary file, then link it to the target name. link()
    // fails with EEXIST instead of replacing a file that appeared meanwhile.
    QByteArray tempName;
    const int fd = createTemporary(path, &tempName);
    if (fd < 0) {
        if (error)
            *error = SystemError::text(errno);
        return false;
    }
    bool ok = true;
    qsizetype done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    int savedErrno = ok ? 0 : errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        savedErrno = errno;
    }
    ::close(fd);
    if (ok && ::link(tempName.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    ::unlink(tempName.constData());
    if (!ok && error)
        *error = SystemError::text(savedErrno);
    return ok;
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
