#include "audio/StreamLengthReader.h"

#include <QBuffer>
#include <cstring>
#include <gtest/gtest.h>

// Hand-made headers for the cases that generated files do not reach (the decoder's
// tests cover a LAME-tagged MP3, an MP2 without header, ADTS, AMR-NB and a rounded
// CAF packet table end to end).

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

template <typename Reader> auto lengthOf(Reader reader, QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return reader(buffer);
}

std::optional<StreamLengthReader::Length> mpeg(const QByteArray& bytes)
{
    return lengthOf(StreamLengthReader::mpegAudio, bytes);
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
        EXPECT_EQ(length->sampleRate, 48000);
        EXPECT_EQ(length->channels, 2);
        EXPECT_EQ(length->frames, c.frames);
        EXPECT_EQ(length->exact, c.exact);
        EXPECT_EQ(length->startsWithFrames, c.startsWithFrames);
    }
    EXPECT_FALSE(mpeg(QByteArray(4000, 'x')).has_value());
    EXPECT_FALSE(mpeg(QByteArray()).has_value());
    EXPECT_FALSE(mpeg(mpegFrames(1).left(100)).has_value()) << "one lone header is not a stream";
}

QByteArray adtsFrame(int payload, int blocks)
{
    const int length = 7 + payload;
    QByteArray h(7, '\0');
    h[0] = char(0xFF);
    h[1] = char(0xF1);                          // MPEG-4, no CRC
    h[2] = char(1 << 6 | 4 << 2 | 0);           // LC, 44.1 kHz, channel config high bit 0
    h[3] = char(2 << 6 | ((length >> 11) & 3)); // 2 channels
    h[4] = char((length >> 3) & 0xFF);
    h[5] = char((length & 7) << 5 | 0x1F);
    h[6] = char(0xFC | (blocks - 1));
    return h + QByteArray(payload, '\x21');
}

TEST(StreamLengthReaderTest, AdtsAndAmrCountTheirBlocks)
{
    QByteArray adts = id3v2(20);
    for (int i = 0; i < 50; ++i)
        adts += adtsFrame(100 + i, i == 10 ? 2 : 1);
    adts += adtsFrame(300, 1).left(50); // cut short: not a frame
    const auto aac = lengthOf(StreamLengthReader::adts, adts);
    ASSERT_TRUE(aac.has_value());
    EXPECT_EQ(aac->sampleRate, 44100);
    EXPECT_EQ(aac->channels, 2);
    EXPECT_EQ(aac->frames, 51 * 1024);
    EXPECT_TRUE(aac->exact);
    EXPECT_FALSE(lengthOf(StreamLengthReader::adts, QByteArray(3000, 'z')).has_value());

    QByteArray wide("#!AMR-WB\n");
    wide += char(8 << 3 | 4) + QByteArray(60, '\0'); // 23.85 kbit/s
    wide += char(2 << 3 | 4) + QByteArray(32, '\0'); // 12.65 kbit/s
    wide += char(15 << 3 | 4);                       // no data
    wide += char(8 << 3 | 4) + QByteArray(10, '\0'); // cut short
    const auto w = lengthOf(StreamLengthReader::amr, wide);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->sampleRate, 16000);
    EXPECT_EQ(w->frames, 3 * 320);
    EXPECT_FALSE(lengthOf(StreamLengthReader::amr, QByteArray("#!AMR_MC1.0\n")).has_value());
}

QByteArray cafChunk(const char *type, const QByteArray& body, int64_t size = -2)
{
    return QByteArray(type, 4) + be(uint64_t(size == -2 ? body.size() : size), 8) + body;
}

QByteArray caf(double rate, uint32_t bytesPerPacket, uint32_t framesPerPacket,
               const QByteArray& chunks)
{
    quint64 bits;
    std::memcpy(&bits, &rate, sizeof bits);
    const QByteArray desc = be(bits, 8) + "alac" + be(0, 4) + be(bytesPerPacket, 4) +
                            be(framesPerPacket, 4) + be(2, 4) + be(16, 4);
    return QByteArray("caff") + be(0x00010000, 4) + cafChunk("desc", desc) + chunks;
}

TEST(StreamLengthReaderTest, CafLengthFromThePacketTableOrTheDataSize)
{
    const auto stated = lengthOf(StreamLengthReader::caf,
                                 caf(44100, 0, 4096,
                                     cafChunk("pakt", be(10, 8) + be(38000, 8) + be(2112, 4) +
                                                          be(10 * 4096 - 38000 - 2112, 4)) +
                                         cafChunk("data", QByteArray(100, '\0'), -1)));
    ASSERT_TRUE(stated.has_value());
    EXPECT_EQ(stated->sampleRate, 44100);
    EXPECT_EQ(stated->channels, 2);
    EXPECT_EQ(stated->frames, 38000 + 2112);
    EXPECT_TRUE(stated->exact);

    // Constant-size packets: the data size says it.
    const auto pcm = lengthOf(StreamLengthReader::caf,
                              caf(48000, 4, 1, cafChunk("data", QByteArray(4 + 4 * 1000, '\0'))));
    ASSERT_TRUE(pcm.has_value());
    EXPECT_EQ(pcm->frames, 1000);
    EXPECT_TRUE(pcm->exact);

    EXPECT_FALSE(lengthOf(StreamLengthReader::caf, QByteArray("RIFF....WAVE")).has_value());
    EXPECT_FALSE(lengthOf(StreamLengthReader::caf, caf(-5, 4, 1, {})).has_value());
}

} // namespace
