#include "audio/StreamLengthReader.h"

#include <QBuffer>
#include <gtest/gtest.h>

// Hand-made MPEG audio headers for the cases that generated files do not reach (the
// decoder's tests cover a LAME-tagged MP3, an MP2 without header, ADTS, AMR-NB and a
// rounded CAF packet table end to end).

namespace {

QByteArray be(uint64_t value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray id3v2(int bodyBytes, bool footer = false)
{
    QByteArray tag("ID3\x04\x00", 5);
    tag.append(char(footer ? 0x10 : 0x00));
    for (int shift : {21, 14, 7, 0})
        tag.append(char((bodyBytes >> shift) & 0x7F));
    tag.append(QByteArray(bodyBytes, 'x'));
    if (footer)
        tag.append(QByteArray("3DI") + QByteArray(7, '\0'));
    return tag;
}

// count MPEG-1 layer III frames at 48 kHz, 128 kbit/s, joint stereo: 384 bytes each.
QByteArray mpegFrames(int count)
{
    QByteArray frames;
    for (int i = 0; i < count; ++i)
        frames += be(0xFFFB9444, 4) + QByteArray(380, '\0');
    return frames;
}

// The info frame an encoder writes first: "Info" 32 bytes after the side
// information, frame count, byte count, seek table, quality, then the encoder name
// and, 21 bytes after it, the encoder delay and padding.
QByteArray infoFrame(uint32_t frames, uint32_t bytes, const char *encoder)
{
    QByteArray frame = be(0xFFFB9404, 4) + QByteArray(32, '\0') + "Info" + be(0x0F, 4) +
                       be(frames, 4) + be(bytes, 4) + QByteArray(104, '\0') +
                       QByteArray(encoder, 9) + QByteArray(12, '\0') +
                       be(uint32_t(576) << 12 | 1000u, 3);
    return frame + QByteArray(384 - frame.size(), '\0');
}

QByteArray vbriFrame(uint32_t frames)
{
    const QByteArray frame = be(0xFFFB9444, 4) + QByteArray(32, '\0') + "VBRI" + be(1, 2) +
                             be(0, 4) + be((frames + 1) * 384, 4) + be(frames, 4);
    return frame + QByteArray(384 - frame.size(), '\0');
}

std::optional<StreamLengthReader::Length> mpeg(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return StreamLengthReader::mpegAudio(buffer);
}

TEST(StreamLengthReaderTest, MpegAudioLengthFromItsHeadersOrItsBitRate)
{
    const QByteArray id3v1 = "TAG" + QByteArray(125, ' ');
    struct Case {
        const char *what;
        QByteArray bytes;
        int64_t frames;
        bool exact;
        bool startsWithFrames;
    } cases[] = {
        // Decoders drop the encoder delay plus their own 529 frames, and cut the tail
        // where the padding begins (also shifted by those 529 frames).
        {"every ID3v2 tag skipped, LAME delay and padding trimmed",
         id3v2(64) + id3v2(50, true) + infoFrame(20, 21 * 384, "LAME3.100") + mpegFrames(20),
         20 * 1152 - (576 + 529) - (1000 - 529), true, true},
        {"other encoders: nothing trimmed", infoFrame(20, 21 * 384, "Other1.0x") + mpegFrames(20),
         20 * 1152, true, true},
        {"far longer than its info frame: estimated",
         infoFrame(10, 11 * 384, "Other1.0x") + mpegFrames(40), 40 * 1152, false, true},
        {"VBRI header", vbriFrame(25) + mpegFrames(25), 25 * 1152, true, true},
        {"no header: bit rate, ID3v1 tag left out", id3v2(10) + mpegFrames(30) + id3v1, 30 * 1152,
         false, true},
        {"junk before the first frame", QByteArray(37, 'j') + mpegFrames(30), 30 * 1152, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto length = mpeg(c.bytes);
        ASSERT_TRUE(length.has_value());
        EXPECT_EQ(std::tuple(length->sampleRate, length->channels, length->frames, length->exact,
                             length->startsWithFrames),
                  std::tuple(48000, 2, c.frames, c.exact, c.startsWithFrames));
    }
    EXPECT_FALSE(mpeg(QByteArray(4000, 'x')).has_value());
    EXPECT_FALSE(mpeg(QByteArray()).has_value());
    EXPECT_FALSE(mpeg(mpegFrames(1).left(100)).has_value()) << "one lone header is not a stream";
}

} // namespace
