#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
const QString kFiller = QStringLiteral("/.filler");
}

SmallDisk::SmallDisk(QString folder) : m_folder(std::move(folder))
{
    QDir().mkpath(m_folder);
    m_mounted =
        ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=64k") == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void SmallDisk::fill()
{
    const int fd = ::open(QFile::encodeName(m_folder + kFiller).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // tmpfs hands out whole pages: once a page-sized write fails, none fits.
    const QByteArray page(4096, 'f');
    while (::write(fd, page.constData(), size_t(page.size())) > 0) {
    }
    ::close(fd);
}

void SmallDisk::free()
{
    QFile::remove(m_folder + kFiller);
}
