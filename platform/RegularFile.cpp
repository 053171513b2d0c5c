#include "platform/RegularFile.h"

#include "platform/SystemError.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

bool exists(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool open(QFile& file, const QString& path, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = SystemError::text(errno);
        return false;
    }
    struct stat info {};
    QString reason;
    if (::fstat(fd, &info) != 0)
        reason = SystemError::text(errno);
    else if (!S_ISREG(info.st_mode))
        reason = QStringLiteral("not a regular file");
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        reason = SystemError::text(errno);
    else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        reason = file.errorString();
    if (reason.isEmpty())
        return true;
    ::close(fd);
    if (error)
        *error = reason;
    return false;
}

} // namespace RegularFile
