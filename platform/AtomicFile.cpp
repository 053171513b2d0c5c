#include "platform/AtomicFile.h"

#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

bool write(const QString& path, const QByteArray& bytes, Mode mode, QString *error)
{
    if (mode == Mode::Replace) {
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
    const QString tempPath = QFileInfo(path).absolutePath() + QStringLiteral("/.") +
                             QFileInfo(path).fileName() + QStringLiteral(".XXXXXX");
    QByteArray pattern = QFile::encodeName(tempPath);
    const int fd = ::mkstemp(pattern.data());
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
    if (ok && ::link(pattern.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    ::unlink(pattern.constData());
    if (!ok && error)
        *error = SystemError::text(savedErrno);
    return ok;
}

} // namespace AtomicFile
