#pragma once

// One regular file as a read-only TagLib stream, for reading tags of many files.
//
// TagLib's own file stream goes through stdio: every length() costs an fstat and
// every seek drops the read buffer, some 30 system calls for one small file,
// which made system time most of the cost of adding a large folder. This one
// takes the size once, keeps the position itself and reads with pread() through
// one window of up to kWindowBytes, so that a tag reader's many small reads near
// one place cost one call: a small file costs open, fstat, one pread and close.
//
// The file is opened as RegularFile opens one (a FIFO or a device is refused
// without blocking) and never for writing: the write operations change nothing.
// The size is the one at opening; a file that grows meanwhile is read as it was.
//
// Not thread-safe: one thread uses an instance. TagLib does not own the stream,
// so it must outlive the TagLib::File or FileRef made from it.

#include <QByteArray>
#include <QString>
#include <taglib/tiostream.h>

class TagFileStream final : public TagLib::IOStream {
public:
    // Bytes read at once for reads smaller than this; larger reads are read whole.
    static constexpr long kWindowBytes = 16 * 1024;

    explicit TagFileStream(const QString& path);
    ~TagFileStream() override;
    TagFileStream(const TagFileStream&) = delete;
    TagFileStream& operator=(const TagFileStream&) = delete;

    TagLib::FileName name() const override { return m_name.constData(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, unsigned long start = 0,
                unsigned long replace = 0) override;
    void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
    bool readOnly() const override { return true; }
    bool isOpen() const override { return m_fd >= 0; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return m_position; }
    long length() override { return m_size; }
    void truncate(long length) override;

private:
    // Reads up to length bytes at offset into out; the count read (short at the
    // end of the file or on an error).
    long readAt(long offset, char *out, long length) const;

    const QByteArray m_name; // the path in the file-name encoding; TagLib picks the type by it
    int m_fd = -1;           // -1 when the path is not an openable regular file
    long m_size = 0;         // bytes, as of opening
    long m_position = 0;     // may lie past the end, as after a seek there
    long m_windowStart = 0;  // file offset of m_window's first byte
    QByteArray m_window;     // the bytes read last by a small read
};
