#pragma once

// Questions about one media file: its tags, its embedded picture and its play
// length as display text.
//
// Tags come from TagLib, or, for files whose tags TagLib does not read (CAF, AMR,
// 3GP, AIFF name chunks) or that it cannot open, from the container as FFmpeg reads
// it. The play length comes from the container or stream headers without decoding
// (AudioDecoder::probe), so that it agrees with the engine's length.
//
// Threads: any thread; an instance is used by one thread at a time. No shared
// state: questions open the file and close it again.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <cstdint>
#include <optional>

class MediaInfo {
public:
    explicit MediaInfo(QString path);

    // The absolute path given at construction.
    QString path() const { return m_path; }
    // A file URL of path(), made at each call.
    QUrl url() const;

    // The file's tags: "title", "artist" and, where present, "album", each a
    // non-empty QString; a key is missing when the file has no such tag. Absent when
    // neither TagLib nor FFmpeg can read the file.
    std::optional<QVariantMap> id3Tags();

    // An embedded picture: the front cover when the file marks one, else the first
    // picture. TagLib reads ID3v2 APIC frames (MP3, WAV, AIFF), MP4 "covr" items,
    // FLAC picture blocks and Xiph comments' METADATA_BLOCK_PICTURE.
    struct Picture {
        QByteArray data;
        QString extension; // "jpg", "png", "gif", "bmp" or "webp", told by the bytes
    };
    static constexpr qsizetype kMaxPictureBytes = 16 * 1024 * 1024;
    // Absent when the file has no picture, cannot be read, or its pictures are not
    // images of those kinds or are larger than kMaxPictureBytes. Reads the whole
    // tag, so it may take a while on a slow disk.
    std::optional<Picture> picture();

    // Play length as text (durationText()); absent when the file has no audio stream
    // of measurable length.
    std::optional<QString> duration();
    static std::optional<QString> durationForItemAtPath(const QString& path);

    // Whole minutes (not limited to 59), a colon and the seconds in two digits,
    // both truncated: 125 s gives "2:05", 59.99 s "0:59", 4500 s "75:00". The
    // arithmetic is single precision, as stored texts were made with it. Empty when
    // sampleRate is not positive.
    static QString durationText(int64_t frames, double sampleRate);

    // Status of the last question: 0 when it was answered from the file, otherwise
    // a negative code (-1: the file could not be read).
    int status() const { return m_status; }

private:
    QString m_path;
    int m_status = 0;
};
