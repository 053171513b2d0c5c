#include "audio/StreamLengthReader.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Reads small ranges of a device through a window, so that walking frame headers
// costs one system read per window rather than a seek and a read per frame. The
// first windows are small: most questions are answered by the first few KiB.
class BlockReader {
public:
    explicit BlockReader(QIODevice& device) : m_device(device), m_size(device.size()) {}

    int64_t size() const { return m_size; }

    bool readAt(int64_t pos, uint8_t *out, int count)
    {
        if (pos < 0 || count < 0 || pos + count > m_size)
            return false;
        if (pos < m_blockPos || pos + count > m_blockPos + m_block.size()) {
            if (!m_device.seek(pos))
                return false;
            m_block = m_device.read(std::max<int64_t>(m_window, count));
            m_blockPos = pos;
            m_window = std::min<int64_t>(m_window * 4, kLargestWindow);
            if (m_block.size() < count)
                return false;
        }
        std::memcpy(out, m_block.constData() + (pos - m_blockPos), size_t(count));
        return true;
    }

private:
    static constexpr int64_t kLargestWindow = 64 * 1024;
    QIODevice& m_device;
    const int64_t m_size;
    QByteArray m_block;
    int64_t m_blockPos = 0;
    int64_t m_window = 4096;
};

int64_t skipId3v2Tags(BlockReader& reader)
{
    int64_t pos = 0;
    uint8_t h[10];
    while (reader.readAt(pos, h, 10) && h[0] == 'I' && h[1] == 'D' && h[2] == '3' && h[3] != 0xFF &&
           h[4] != 0xFF && !(h[6] & 0x80) && !(h[7] & 0x80) && !(h[8] & 0x80) && !(h[9] & 0x80)) {
        const int64_t size = int64_t(h[6]) << 21 | int64_t(h[7]) << 14 | int64_t(h[8]) << 7 | h[9];
        pos += 10 + size + ((h[5] & 0x10) ? 10 : 0);
    }
    return pos;
}

uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint64_t be64(const uint8_t *p)
{
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}

struct MpegHeader {
    int layer = 0;    // 1..3
    bool lsf = false; // MPEG-2 or MPEG-2.5 (half the samples per layer III frame)
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0; // kbit/s; 0 = free format
    int frameBytes = 0;
    int samplesPerFrame = 0;
};

// The fields compared between consecutive frames when looking for the first real
// one: sync, version, layer, sample rate and (partly) the channel mode.
constexpr uint32_t kMpegSameStreamMask = 0xFFFE0CCF;

std::optional<MpegHeader> decodeMpegHeader(uint32_t h)
{
    if ((h & 0xFFE00000) != 0xFFE00000)
        return std::nullopt;
    const int version = (h >> 19) & 3; // 0 = 2.5, 1 = reserved, 2 = 2, 3 = 1
    const int layerBits = (h >> 17) & 3;
    const int bitrateIndex = (h >> 12) & 15;
    const int rateIndex = (h >> 10) & 3;
    if (version == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    static constexpr int kRates[3] = {44100, 48000, 32000};
    static constexpr int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

    MpegHeader m;
    const bool mpeg25 = version == 0;
    m.lsf = version != 3;
    m.layer = 4 - layerBits;
    m.sampleRate = kRates[rateIndex] >> (int(m.lsf) + int(mpeg25));
    m.channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    m.bitrate = kBitrates[m.lsf ? 1 : 0][m.layer - 1][bitrateIndex];
    const int padding = (h >> 9) & 1;
    switch (m.layer) {
    case 1:
        m.samplesPerFrame = 384;
        m.frameBytes = m.bitrate ? (m.bitrate * 12000 / m.sampleRate + padding) * 4 : 0;
        break;
    case 2:
        m.samplesPerFrame = 1152;
        m.frameBytes = m.bitrate ? m.bitrate * 144000 / m.sampleRate + padding : 0;
        break;
    default:
        m.samplesPerFrame = m.lsf ? 576 : 1152;
        m.frameBytes = m.bitrate ? m.bitrate * 144000 / (m.sampleRate << int(m.lsf)) + padding : 0;
        break;
    }
    return m;
}

// Bytes of ID3v1 and APEv2 tags at the end of the file, which hold no audio.
int64_t trailingTagBytes(BlockReader& reader)
{
    int64_t end = reader.size();
    uint8_t buf[32];
    if (end >= 128 && reader.readAt(end - 128, buf, 3) && std::memcmp(buf, "TAG", 3) == 0)
        end -= 128;
    if (end >= 32 && reader.readAt(end - 32, buf, 32) && std::memcmp(buf, "APETAGEX", 8) == 0) {
        const uint32_t size = uint32_t(buf[12]) | uint32_t(buf[13]) << 8 | uint32_t(buf[14]) << 16 |
                              uint32_t(buf[15]) << 24;
        const bool hasHeader = buf[23] & 0x80;
        end -= std::min<int64_t>(end, int64_t(size) + (hasHeader ? 32 : 0));
    }
    return reader.size() - end;
}

} // namespace

int64_t StreamLengthReader::skipId3v2(QIODevice& file)
{
    BlockReader reader(file);
    return skipId3v2Tags(reader);
}

std::optional<StreamLengthReader::Length> StreamLengthReader::mpegAudio(QIODevice& file)
{
    BlockReader reader(file);
    const int64_t base = skipId3v2Tags(reader);

    // The info frame is looked for only right after the tags, where decoders look.
    int64_t frames = 0;
    int64_t startTrim = 0;
    int64_t endTrim = 0;
    bool hasInfoFrame = false;
    int64_t infoFrameBytes = 0;
    std::optional<MpegHeader> info;
    uint8_t buf[256] = {};
    if (reader.readAt(base, buf, 4))
        info = decodeMpegHeader(be32(buf));
    if (info && info->layer == 3) {
        const int avail = int(std::min<int64_t>(sizeof buf, reader.size() - base));
        reader.readAt(base, buf, avail);
        const int sideInfo =
            info->lsf ? (info->channels == 1 ? 9 : 17) : (info->channels == 1 ? 17 : 32);
        int p = 4 + sideInfo;
        uint32_t headerBytes = 0;
        const uint32_t tag = p + 8 <= avail ? be32(buf + p) : 0;
        if (tag == 0x58696E67 /* Xing */ || tag == 0x496E666F /* Info */) {
            const uint32_t flags = be32(buf + p + 4);
            p += 8;
            if ((flags & 1) && p + 4 <= avail) {
                frames = be32(buf + p);
                p += 4;
            }
            if ((flags & 2) && p + 4 <= avail) {
                headerBytes = be32(buf + p);
                p += 4;
            }
            // A file much longer than its header says was concatenated or damaged:
            // decoders then ignore the frame count.
            const int64_t fileBytes = std::max<int64_t>(0, reader.size() - base - 4);
            if (fileBytes && headerBytes) {
                const int64_t lo = std::min<int64_t>(fileBytes, headerBytes);
                const int64_t delta = std::max<int64_t>(fileBytes, headerBytes) - lo;
                if (fileBytes > headerBytes && delta > lo >> 4)
                    frames = 0;
            }
            if (flags & 4)
                p += 100; // seek table
            if (flags & 8)
                p += 4; // quality
            // Encoder delay and padding, 12 bits each, 21 bytes after the encoder name.
            if (p + 24 <= avail &&
                (std::memcmp(buf + p, "LAME", 4) == 0 || std::memcmp(buf + p, "Lavf", 4) == 0 ||
                 std::memcmp(buf + p, "Lavc", 4) == 0)) {
                const uint32_t v =
                    uint32_t(buf[p + 21]) << 16 | uint32_t(buf[p + 22]) << 8 | buf[p + 23];
                const int startPad = int(v >> 12);
                const int endPad = int(v & 4095);
                // Decoders add 529 frames of their own delay to the encoder's delay and
                // cut the tail where the encoder's padding begins.
                startTrim = startPad + 529;
                endTrim = std::max(0, endPad - 529);
            }
            hasInfoFrame = frames || headerBytes;
        }
        if (40 + 18 <= avail && std::memcmp(buf + 36, "VBRI", 4) == 0 && buf[40] == 0 &&
            buf[41] == 1) {
            headerBytes = be32(buf + 46);
            frames = be32(buf + 50);
            hasInfoFrame = frames || headerBytes;
        }
        if (hasInfoFrame)
            infoFrameBytes = info->frameBytes;
    }

    // Two frames of the same stream in a row, the first right after the tags.
    auto framesFollow = [&](int64_t pos) {
        uint8_t h[4];
        if (!reader.readAt(pos, h, 4))
            return false;
        const uint32_t first = be32(h);
        const auto m = decodeMpegHeader(first);
        if (!m || m->frameBytes <= 0 || !reader.readAt(pos + m->frameBytes, h, 4))
            return false;
        const uint32_t second = be32(h);
        return decodeMpegHeader(second).has_value() &&
               (first & kMpegSameStreamMask) == (second & kMpegSameStreamMask);
    };

    Length length;
    if (hasInfoFrame && frames > 0) {
        const int64_t total = frames * info->samplesPerFrame;
        length.sampleRate = info->sampleRate;
        length.channels = info->channels;
        length.frames = std::max<int64_t>(0, total - startTrim - endTrim);
        length.exact = true;
        length.startsWithFrames = framesFollow(base + infoFrameBytes);
        return length;
    }

    // No frame count: the first frame that another frame of the same stream follows,
    // then the rest of the file at that frame's bit rate.
    const int64_t audioStart = base + infoFrameBytes;
    for (int64_t i = 0; i < 64 * 1024; ++i) {
        uint8_t h[4];
        if (!reader.readAt(audioStart + i, h, 4))
            return std::nullopt;
        const uint32_t first = be32(h);
        const auto m = decodeMpegHeader(first);
        if (!m || m->frameBytes <= 0)
            continue;
        if (!reader.readAt(audioStart + i + m->frameBytes, h, 4))
            continue;
        const uint32_t second = be32(h);
        if (!decodeMpegHeader(second) ||
            (first & kMpegSameStreamMask) != (second & kMpegSameStreamMask))
            continue;
        const int64_t bytes = reader.size() - (audioStart + i) - trailingTagBytes(reader);
        length.sampleRate = m->sampleRate;
        length.channels = m->channels;
        length.frames = std::max<int64_t>(
            0, bytes * 8 * m->sampleRate / (int64_t(m->bitrate) * 1000) - startTrim);
        length.exact = false;
        length.startsWithFrames = i == 0;
        return length;
    }
    return std::nullopt;
}

std::optional<StreamLengthReader::Length> StreamLengthReader::adts(QIODevice& file)
{
    static constexpr int kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
    BlockReader reader(file);
    const int64_t base = skipId3v2Tags(reader);

    auto headerAt = [&](int64_t pos, int *frameBytes, int *blocks, int *rate, int *channels) {
        uint8_t h[7];
        if (!reader.readAt(pos, h, 7) || h[0] != 0xFF || (h[1] & 0xF6) != 0xF0)
            return false;
        const int rateIndex = (h[2] >> 2) & 15;
        const int length = (h[3] & 3) << 11 | h[4] << 3 | h[5] >> 5;
        if (rateIndex >= 13 || length < 7)
            return false;
        *frameBytes = length;
        *blocks = (h[6] & 3) + 1;
        *rate = kRates[rateIndex];
        const int config = (h[2] & 1) << 2 | h[3] >> 6;
        *channels = config == 7 ? 8 : config;
        return true;
    };

    // Junk before the first frame is skipped as decoders do: the first header that
    // another header follows.
    int64_t pos = -1;
    int frameBytes = 0, blocks = 0, rate = 0, channels = 0;
    for (int64_t i = 0; i < 8 * 1024 && pos < 0; ++i) {
        int nextBytes, nextBlocks, nextRate, nextChannels;
        if (headerAt(base + i, &frameBytes, &blocks, &rate, &channels) &&
            headerAt(base + i + frameBytes, &nextBytes, &nextBlocks, &nextRate, &nextChannels) &&
            nextRate == rate)
            pos = base + i;
    }
    if (pos < 0)
        return std::nullopt;

    Length length;
    length.sampleRate = rate;
    length.channels = channels;
    length.exact = true;
    int r, c;
    while (headerAt(pos, &frameBytes, &blocks, &r, &c) && pos + frameBytes <= reader.size()) {
        length.frames += int64_t(blocks) * 1024;
        pos += frameBytes;
    }
    return length;
}

std::optional<StreamLengthReader::Length> StreamLengthReader::amr(QIODevice& file)
{
    // Block sizes including the table-of-contents byte, indexed by frame type.
    static constexpr std::array<uint8_t, 16> kNarrow = {13, 14, 16, 18, 20, 21, 27, 32,
                                                        6,  1,  1,  1,  1,  1,  1,  1};
    static constexpr std::array<uint8_t, 16> kWide = {18, 24, 33, 37, 41, 47, 51, 59,
                                                      61, 6,  1,  1,  1,  1,  1,  1};
    BlockReader reader(file);
    uint8_t magic[9] = {};
    if (!reader.readAt(0, magic, 6))
        return std::nullopt;
    const std::array<uint8_t, 16> *sizes = nullptr;
    int64_t pos = 0;
    Length length;
    if (std::memcmp(magic, "#!AMR\n", 6) == 0) {
        sizes = &kNarrow;
        pos = 6;
        length.sampleRate = 8000;
    } else if (reader.readAt(0, magic, 9) && std::memcmp(magic, "#!AMR-WB\n", 9) == 0) {
        sizes = &kWide;
        pos = 9;
        length.sampleRate = 16000;
    } else {
        return std::nullopt;
    }
    const int blockFrames = length.sampleRate / 50;
    length.channels = 1;
    length.exact = true;
    uint8_t toc;
    while (reader.readAt(pos, &toc, 1)) {
        const int size = (*sizes)[(toc >> 3) & 15];
        if (pos + size > reader.size())
            break;
        length.frames += blockFrames;
        pos += size;
    }
    return length;
}

std::optional<StreamLengthReader::Length> StreamLengthReader::caf(QIODevice& file)
{
    BlockReader reader(file);
    uint8_t buf[32];
    if (!reader.readAt(0, buf, 8) || std::memcmp(buf, "caff", 4) != 0)
        return std::nullopt;
    Length length;
    int64_t bytesPerPacket = 0;
    int64_t framesPerPacket = 0;
    std::optional<int64_t> dataBytes;
    bool haveDescription = false;
    bool havePacketTable = false;
    int64_t packets = 0, valid = 0, priming = 0, remainder = 0;
    for (int64_t pos = 8; reader.readAt(pos, buf, 12);) {
        const int64_t size = int64_t(be64(buf + 4));
        if (std::memcmp(buf, "desc", 4) == 0 && size >= 32 && reader.readAt(pos + 12, buf, 32)) {
            const uint64_t bits = be64(buf);
            double rate;
            std::memcpy(&rate, &bits, sizeof rate);
            if (!(rate >= 1 && rate <= 1e6))
                return std::nullopt;
            length.sampleRate = int(rate);
            bytesPerPacket = be32(buf + 16);
            framesPerPacket = be32(buf + 20);
            length.channels = int(be32(buf + 24));
            haveDescription = true;
        } else if (std::memcmp(buf, "pakt", 4) == 0 && size >= 24 &&
                   reader.readAt(pos + 12, buf, 24)) {
            packets = int64_t(be64(buf));
            valid = int64_t(be64(buf + 8));
            priming = int32_t(be32(buf + 16));
            remainder = int32_t(be32(buf + 20));
            havePacketTable = true;
        } else if (std::memcmp(buf, "data", 4) == 0) {
            // Four bytes of edit count precede the audio; -1 runs to the end.
            dataBytes = (size < 0 ? reader.size() - pos - 12 : size) - 4;
        }
        // A chunk said to reach past the end of the file is the last one read (its
        // size would also carry pos past any int64_t).
        if (size < 0 || size > reader.size() - pos - 12)
            break;
        pos += 12 + size;
    }
    if (!haveDescription)
        return std::nullopt;
    if (havePacketTable) {
        if (valid < 0 || priming < 0 || remainder < 0)
            return std::nullopt;
        // Counts from a damaged table can overflow: such a length is not known.
        int64_t allFrames = 0;
        if (__builtin_add_overflow(valid, priming, &length.frames) ||
            __builtin_mul_overflow(packets, framesPerPacket, &allFrames))
            return std::nullopt;
        length.exact =
            !(priming == 0 && remainder == 0 && framesPerPacket > 0 && valid == allFrames);
        return length;
    }
    if (dataBytes && bytesPerPacket > 0 && framesPerPacket > 0) {
        if (__builtin_mul_overflow(std::max<int64_t>(0, *dataBytes) / bytesPerPacket,
                                   framesPerPacket, &length.frames))
            return std::nullopt;
        length.exact = true;
        return length;
    }
    return std::nullopt;
}
