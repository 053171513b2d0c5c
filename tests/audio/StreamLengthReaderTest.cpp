#include "audio/StreamLengthReader.h"

#include <QBuffer>
#include <cstring>
#include <gtest/gtest.h>

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

// An MPEG-1 layer III frame at 48 kHz, 128 kbit/s, joint stereo: 384 bytes.
QByteArray mpegFrame()
{
    return be(0xFFFB9444, 4) + QByteArray(380, '\0');
}

// The info frame an encoder writes first: same header, "Info" 32 bytes after the
// side information, frame count, byte count, seek table, and a LAME extension with
// the encoder delay and padding.
QByteArray infoFrame(uint32_t frames, uint32_t bytes, int delay, int padding,
                     const char *encoder = "LAME3.100")
{
    QByteArray frame = be(0xFFFB9404, 4) + QByteArray(32, '\0');
    frame += "Info";
    frame += be(0x0F, 4);
    frame += be(frames, 4);
    frame += be(bytes, 4);
    frame += QByteArray(100, '\0'); // seek table
    frame += be(0, 4);              // quality
    frame += QByteArray(encoder, 9);
    frame += QByteArray(12, '\0');
    frame += be(uint32_t(delay) << 12 | uint32_t(padding), 3);
    frame += QByteArray(384 - frame.size(), '\0');
    return frame;
}

std::optional<StreamLengthReader::Length> mpeg(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return StreamLengthReader::mpegAudio(buffer);
}

TEST(StreamLengthReaderTest, SkipsEveryLeadingId3v2Tag)
{
    QByteArray bytes = id3v2(100) + id3v2(50, true) + mpegFrame();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(StreamLengthReader::skipId3v2(buffer), 110 + 70);

    QByteArray none = mpegFrame();
    QBuffer plain(&none);
    plain.open(QIODevice::ReadOnly);
    EXPECT_EQ(StreamLengthReader::skipId3v2(plain), 0);
}

TEST(StreamLengthReaderTest, InfoFrameGivesTheFrameCountLessDelayAndPadding)
{
    QByteArray audio;
    for (int i = 0; i < 20; ++i)
        audio += mpegFrame();
    const auto length = mpeg(id3v2(64) + infoFrame(20, 21 * 384, 576, 1000) + audio);
    ASSERT_TRUE(length.has_value());
    EXPECT_EQ(length->sampleRate, 48000);
    EXPECT_EQ(length->channels, 2);
    // Decoders drop the encoder delay plus their own 529 frames, and cut the tail
    // where the padding begins (also shifted by those 529 frames).
    EXPECT_EQ(length->frames, 20 * 1152 - (576 + 529) - (1000 - 529));
    EXPECT_TRUE(length->exact);
    EXPECT_TRUE(length->startsWithFrames);

    // Without an encoder extension nothing is trimmed.
    const auto plain = mpeg(infoFrame(20, 21 * 384, 576, 1000, "Other1.0x") + audio);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->frames, 20 * 1152);
}

TEST(StreamLengthReaderTest, FileFarLongerThanItsInfoFrameIsEstimated)
{
    QByteArray audio;
    for (int i = 0; i < 40; ++i)
        audio += mpegFrame();
    // The header speaks of 10 frames; 40 follow (a concatenation).
    const auto length = mpeg(infoFrame(10, 11 * 384, 0, 0, "Other1.0x") + audio);
    ASSERT_TRUE(length.has_value());
    EXPECT_FALSE(length->exact);
    EXPECT_EQ(length->frames, 40 * 1152);
}

TEST(StreamLengthReaderTest, WithoutInfoFrameTheLengthIsEstimatedFromTheBitRate)
{
    QByteArray audio;
    for (int i = 0; i < 30; ++i)
        audio += mpegFrame();
    QByteArray id3v1("TAG");
    id3v1 += QByteArray(125, ' ');
    const auto length = mpeg(id3v2(10) + audio + id3v1);
    ASSERT_TRUE(length.has_value());
    EXPECT_FALSE(length->exact);
    EXPECT_EQ(length->frames, 30 * 1152);
    EXPECT_TRUE(length->startsWithFrames);

    // Junk before the first frame is skipped, but the file is then less certain.
    const auto junk = mpeg(QByteArray(37, 'j') + audio);
    ASSERT_TRUE(junk.has_value());
    EXPECT_EQ(junk->frames, 30 * 1152);
    EXPECT_FALSE(junk->startsWithFrames);

    EXPECT_FALSE(mpeg(QByteArray(4000, 'x')).has_value());
    EXPECT_FALSE(mpeg(QByteArray()).has_value());
    // One lone header is not a stream.
    EXPECT_FALSE(mpeg(be(0xFFFB9444, 4) + QByteArray(100, '\0')).has_value());
}

TEST(StreamLengthReaderTest, VbriHeaderGivesTheFrameCount)
{
    QByteArray frame = be(0xFFFB9444, 4) + QByteArray(32, '\0');
    frame += "VBRI";
    frame += be(1, 2);        // version
    frame += be(0, 4);        // delay, quality
    frame += be(26 * 384, 4); // bytes
    frame += be(25, 4);       // frames
    frame += QByteArray(384 - frame.size(), '\0');
    QByteArray audio;
    for (int i = 0; i < 25; ++i)
        audio += mpegFrame();
    const auto length = mpeg(frame + audio);
    ASSERT_TRUE(length.has_value());
    EXPECT_TRUE(length->exact);
    EXPECT_EQ(length->frames, 25 * 1152);
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

TEST(StreamLengthReaderTest, AdtsFramesAreCounted)
{
    QByteArray bytes = id3v2(20);
    for (int i = 0; i < 50; ++i)
        bytes += adtsFrame(100 + i, i == 10 ? 2 : 1);
    bytes += adtsFrame(300, 1).left(50); // cut short: not a frame
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const auto length = StreamLengthReader::adts(buffer);
    ASSERT_TRUE(length.has_value());
    EXPECT_EQ(length->sampleRate, 44100);
    EXPECT_EQ(length->channels, 2);
    EXPECT_EQ(length->frames, 51 * 1024);
    EXPECT_TRUE(length->exact);

    QByteArray noise(3000, 'z');
    QBuffer junk(&noise);
    junk.open(QIODevice::ReadOnly);
    EXPECT_FALSE(StreamLengthReader::adts(junk).has_value());
}

TEST(StreamLengthReaderTest, AmrBlocksAreCountedWhateverTheirType)
{
    QByteArray narrow("#!AMR\n");
    narrow += char(7 << 3 | 4) + QByteArray(31, '\0'); // 12.2 kbit/s
    narrow += char(0 << 3 | 4) + QByteArray(12, '\0'); // 4.75 kbit/s
    narrow += char(8 << 3 | 4) + QByteArray(5, '\0');  // comfort noise
    narrow += char(15 << 3 | 4);                       // no data
    narrow += char(7 << 3 | 4) + QByteArray(10, '\0'); // cut short
    QBuffer nb(&narrow);
    nb.open(QIODevice::ReadOnly);
    const auto n = StreamLengthReader::amr(nb);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(n->sampleRate, 8000);
    EXPECT_EQ(n->channels, 1);
    EXPECT_EQ(n->frames, 4 * 160);

    QByteArray wide("#!AMR-WB\n");
    wide += char(8 << 3 | 4) + QByteArray(60, '\0'); // 23.85 kbit/s
    wide += char(2 << 3 | 4) + QByteArray(32, '\0'); // 12.65 kbit/s
    QBuffer wb(&wide);
    wb.open(QIODevice::ReadOnly);
    const auto w = StreamLengthReader::amr(wb);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->sampleRate, 16000);
    EXPECT_EQ(w->frames, 2 * 320);

    QByteArray other("#!AMR_MC1.0\n");
    QBuffer mc(&other);
    mc.open(QIODevice::ReadOnly);
    EXPECT_FALSE(StreamLengthReader::amr(mc).has_value());
}

QByteArray cafChunk(const char *type, const QByteArray& body, int64_t size = -2)
{
    return QByteArray(type, 4) + be(uint64_t(size == -2 ? body.size() : size), 8) + body;
}

QByteArray cafDescription(double rate, uint32_t bytesPerPacket, uint32_t framesPerPacket,
                          uint32_t channels)
{
    quint64 bits;
    std::memcpy(&bits, &rate, sizeof bits);
    QByteArray body = be(bits, 8);
    body += "alac";
    body += be(0, 4) + be(bytesPerPacket, 4) + be(framesPerPacket, 4) + be(channels, 4) + be(16, 4);
    return cafChunk("desc", body);
}

std::optional<StreamLengthReader::Length> caf(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return StreamLengthReader::caf(buffer);
}

TEST(StreamLengthReaderTest, CafPacketTableStatesValidAndPrimingFrames)
{
    const QByteArray header = QByteArray("caff") + be(0x00010000, 4);
    const auto stated = caf(
        header + cafDescription(44100, 0, 4096, 2) +
        cafChunk("pakt", be(10, 8) + be(38000, 8) + be(2112, 4) + be(10 * 4096 - 38000 - 2112, 4)) +
        cafChunk("data", QByteArray(100, '\0'), -1));
    ASSERT_TRUE(stated.has_value());
    EXPECT_EQ(stated->sampleRate, 44100);
    EXPECT_EQ(stated->channels, 2);
    EXPECT_EQ(stated->frames, 38000 + 2112);
    EXPECT_TRUE(stated->exact);

    // Whole packets without priming or remainder: an upper bound, not a length.
    const auto rounded = caf(header + cafDescription(44100, 0, 4096, 2) +
                             cafChunk("pakt", be(10, 8) + be(40960, 8) + be(0, 4) + be(0, 4)));
    ASSERT_TRUE(rounded.has_value());
    EXPECT_EQ(rounded->frames, 40960);
    EXPECT_FALSE(rounded->exact);

    // Constant-size packets: the data size says it.
    const auto pcm = caf(header + cafDescription(48000, 4, 1, 2) +
                         cafChunk("data", be(0, 4) + QByteArray(4 * 1000, '\0')));
    ASSERT_TRUE(pcm.has_value());
    EXPECT_EQ(pcm->frames, 1000);
    EXPECT_TRUE(pcm->exact);

    EXPECT_FALSE(caf(QByteArray("RIFF....WAVE")).has_value());
    EXPECT_FALSE(caf(header + cafDescription(-5, 4, 1, 2)).has_value());
}

} // namespace
