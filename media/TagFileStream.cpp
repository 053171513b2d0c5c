#include "media/TagFileStream.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TagFileStream::TagFileStream(const QString& path) : m_name(QFile::encodeName(path))
{
    // Non-blocking, so that a FIFO without a writer is refused rather than waited
    // for; reads of a regular file ignore the flag.
    const int fd = ::open(m_name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > LONG_MAX) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = long(info.st_size);
}

TagFileStream::~TagFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

long TagFileStream::readAt(long offset, char *out, long length) const
{
    long done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, out + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += long(n);
    }
    return done;
}

TagLib::ByteVector TagFileStream::readBlock(unsigned long length)
{
    if (m_fd < 0 || length == 0 || m_position >= m_size)
        return {};
    const long wanted =
        long(std::min<unsigned long>(std::min<unsigned long>(length, UINT_MAX),
                                     static_cast<unsigned long>(m_size - m_position)));
    const long windowEnd = m_windowStart + long(m_window.size());
    if (m_position < m_windowStart || m_position + wanted > windowEnd) {
        if (wanted >= kWindowBytes) {
            TagLib::ByteVector block(static_cast<unsigned int>(wanted));
            const long got = readAt(m_position, block.data(), wanted);
            block.resize(static_cast<unsigned int>(got));
            m_position += got;
            return block;
        }
        const long fill = std::min(kWindowBytes, m_size - m_position);
        m_window.resize(fill);
        m_windowStart = m_position;
        m_window.resize(readAt(m_position, m_window.data(), fill));
    }
    const long at = m_position - m_windowStart;
    const long got = std::min(wanted, long(m_window.size()) - at);
    if (got <= 0)
        return {};
    m_position += got;
    return TagLib::ByteVector(m_window.constData() + at, static_cast<unsigned int>(got));
}

void TagFileStream::seek(long offset, Position p)
{
    const long base = p == Beginning ? 0 : p == Current ? m_position : m_size;
    // As fseek(): a position before the start is refused and the position kept.
    if ((offset < 0 && base < LONG_MIN - offset) || (offset > 0 && base > LONG_MAX - offset))
        return;
    if (base + offset >= 0)
        m_position = base + offset;
}

// Tags are only read here: nothing is ever written.
void TagFileStream::writeBlock(const TagLib::ByteVector&) {}
void TagFileStream::insert(const TagLib::ByteVector&, unsigned long, unsigned long) {}
void TagFileStream::removeBlock(unsigned long, unsigned long) {}
void TagFileStream::truncate(long) {}
