#include "audio/AudioDecoder.h"

#include "audio/AudioContainer.h"
#include "audio/StreamLengthReader.h"
#include "platform/RegularFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <QFile>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Packets or frames that fail in a row before the rest of the file is given up.
constexpr int kMaxConsecutiveFailures = 500;
// read() calls in a row that fail on the file itself before it counts as ended.
constexpr int kMaxHardErrors = 32;
// Largest channel count of a decoded frame that can be converted.
constexpr int kMaxFrameChannels = 64;

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

struct AudioDecoder::Impl {
    ~Impl()
    {
        swr_free(&swr);
        av_channel_layout_uninit(&swrInLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    bool open(const QString& path);

    enum class Next { Block, End, HardError };
    Next decodeNext();
    bool takeFrame();
    bool silenceForFailedPacket();
    bool synchronise(int64_t target, bool fromStart, bool haveFirstBlock);
    bool repositionDemuxer(int64_t target, bool *fromStart);
    bool configureConverter(const AVFrame *f);
    void deliver(int16_t *out, int count);
    int64_t toFrames(int64_t pts) const
    {
        return av_rescale_q(pts, stream->time_base, AVRational{1, sampleRate});
    }

    // Fixed after open().
    AudioContainer::FormatPtr format;
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    int streamIndex = -1;
    int sampleRate = 0;
    int channels = 0;
    int64_t totalFrames = 0;
    bool exact = false;
    int64_t origin = 0;     // stream time, in frames, of the first frame delivered
    int64_t preroll = 0;    // frames decoded and dropped before a seek target
    int amrBlockFrames = 0; // > 0: AMR, whose undecodable blocks become silence
    ReplayGain::Tags replayGain;
    QString error;

    // Reading state: the reading thread only (the render thread while playing).
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    SwrContext *swr = nullptr;
    int swrInFormat = -1;
    AVChannelLayout swrInLayout{};
    // The block being delivered: the decoded frame or a run of silence.
    bool blockIsSilence = false;
    int blockBegin = 0;                // next frame of the block to deliver
    int blockEnd = 0;                  // end of the block's deliverable frames
    int64_t blockPts = AV_NOPTS_VALUE; // stream time of the block's frame 0, in frames
    int64_t skipCarry = 0;             // decoder delay still to drop, spanning blocks
    int64_t lastPacketPts = AV_NOPTS_VALUE;
    bool draining = false; // the demuxer has ended; the decoder is being emptied
    bool finished = false; // nothing more comes from this file
    bool atEnd = false;    // positioned at totalFrames by seek()
    int failures = 0;      // consecutive undecodable packets or frames
    int hardErrors = 0;    // consecutive read() calls that failed on the file
};

bool AudioDecoder::Impl::open(const QString& path)
{
    format = AudioContainer::open(path, &error);
    if (!format)
        return false;
    streamIndex = AudioContainer::pickAudioStream(format.get());
    if (streamIndex < 0) {
        error = QStringLiteral("the file holds no decodable audio stream");
        return false;
    }
    stream = format->streams[streamIndex];
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != streamIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    }
    // Raw streams (MP3, ADTS) state no format in a container header; without the
    // stream information their packets also carry no timestamps.
    if (stream->codecpar->sample_rate <= 0 || stream->codecpar->ch_layout.nb_channels <= 0)
        avformat_find_stream_info(format.get(), nullptr);
    const AudioContainer::Measurement measured =
        AudioContainer::measure(format.get(), stream, path);
    replayGain = AudioContainer::replayGainTags(format.get(), stream);

    const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!codec || !packet || !frame || avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
        error = QStringLiteral("out of memory");
        return false;
    }
    codec->thread_count = 1;
    codec->pkt_timebase = stream->time_base;
    // Delay and padding are trimmed here, where the frames' positions are known.
    codec->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    if (const int result = avcodec_open2(codec, decoder, nullptr); result < 0) {
        error = QStringLiteral("cannot start the %1 decoder: %2")
                    .arg(QString::fromUtf8(decoder->name), AudioContainer::errorText(result));
        return false;
    }
    if (codec->codec_id == AV_CODEC_ID_AMR_NB)
        amrBlockFrames = 160;
    else if (codec->codec_id == AV_CODEC_ID_AMR_WB)
        amrBlockFrames = 320;

    // The first block fixes the format that read() delivers.
    const Next first = decodeNext();
    if (first == Next::HardError) {
        error = QStringLiteral("cannot read the file");
        return false;
    }
    if (first == Next::End) {
        // An empty stream whose container states its format opens with no frames.
        if (measured.frames > 0 || measured.sampleRate <= 0 || measured.channels <= 0) {
            error = QStringLiteral("the file holds no decodable audio");
            return false;
        }
        sampleRate = measured.sampleRate;
        channels = measured.channels;
    }
    if (channels < 1 || channels > 8) {
        error = QStringLiteral("%1 channels are not supported").arg(channels);
        return false;
    }

    if (measured.frames >= 0) {
        totalFrames = measured.frames;
        // HE-AAC decoders deliver twice the rate that the core stream states.
        if (measured.sampleRate > 0 && measured.sampleRate != sampleRate)
            totalFrames = av_rescale(totalFrames, sampleRate, measured.sampleRate);
        exact = measured.exact;
    }
    if (stream->start_time != AV_NOPTS_VALUE)
        origin = toFrames(stream->start_time);
    preroll = AudioContainer::prerollFrames(stream->codecpar, sampleRate);
    if (first == Next::Block && !synchronise(0, true, true)) {
        error = QStringLiteral("cannot read the file");
        return false;
    }
    return true;
}

// Hands out the next block of decoded frames. Undecodable data is skipped and
// counted; a run of kMaxConsecutiveFailures ends the file.
AudioDecoder::Impl::Next AudioDecoder::Impl::decodeNext()
{
    blockBegin = blockEnd = 0;
    auto failed = [this] {
        if (++failures >= kMaxConsecutiveFailures)
            finished = true;
    };
    while (!finished) {
        int result = avcodec_receive_frame(codec, frame);
        if (result == 0) {
            if (!takeFrame()) {
                failed();
                continue;
            }
            failures = 0;
            if (blockBegin < blockEnd)
                return Next::Block;
            continue;
        }
        if (result == AVERROR_EOF) {
            finished = true;
            break;
        }
        if (result != AVERROR(EAGAIN)) {
            if (silenceForFailedPacket())
                return Next::Block;
            failed();
            continue;
        }
        if (draining) {
            finished = true;
            break;
        }

        result = av_read_frame(format.get(), packet);
        if (result < 0) {
            if (result == AVERROR_EOF || (format->pb && avio_feof(format->pb))) {
                draining = true;
                avcodec_send_packet(codec, nullptr);
            } else if (result == AVERROR_INVALIDDATA || result == AVERROR(EAGAIN)) {
                failed();
            } else {
                return Next::HardError;
            }
            continue;
        }
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet);
            continue;
        }
        lastPacketPts = packet->pts;
        result = avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
            if (silenceForFailedPacket())
                return Next::Block;
            failed();
        }
    }
    return Next::End;
}

// Accepts the frame just decoded as the current block. False for a frame that
// cannot be delivered in the format fixed at open().
bool AudioDecoder::Impl::takeFrame()
{
    const int count = frame->nb_samples;
    const int frameChannels = frame->ch_layout.nb_channels;
    if (count <= 0 || frameChannels <= 0 || frameChannels > kMaxFrameChannels ||
        frame->sample_rate <= 0)
        return false;
    if (sampleRate == 0) { // the first frame, during open()
        sampleRate = frame->sample_rate;
        channels = frameChannels;
    }
    if (frame->sample_rate != sampleRate)
        return false;
    const bool direct = frame->format == AV_SAMPLE_FMT_S16 && frameChannels == channels;
    if (!direct && (!swr || frame->format != swrInFormat ||
                    av_channel_layout_compare(&frame->ch_layout, &swrInLayout) != 0)) {
        if (!configureConverter(frame))
            return false;
    }

    blockIsSilence = false;
    blockPts = frame->pts != AV_NOPTS_VALUE ? toFrames(frame->pts) : AV_NOPTS_VALUE;
    if (frame->flags & AV_FRAME_FLAG_DISCARD) {
        skipCarry = std::max<int64_t>(0, skipCarry - count);
        blockBegin = blockEnd = 0;
        return true;
    }
    int64_t discard = 0;
    if (const AVFrameSideData *side = av_frame_get_side_data(frame, AV_FRAME_DATA_SKIP_SAMPLES);
        side && side->size >= 10) {
        if (const uint32_t skip = le32(side->data))
            skipCarry = skip;
        discard = le32(side->data + 4);
    }
    const int64_t skip = std::min<int64_t>(skipCarry, count);
    skipCarry -= skip;
    blockBegin = int(skip);
    blockEnd = count;
    if (discard > 0 && discard <= count - skip)
        blockEnd = int(count - discard);
    return true;
}

bool AudioDecoder::Impl::silenceForFailedPacket()
{
    if (amrBlockFrames == 0)
        return false;
    if (sampleRate == 0) { // the first block, during open()
        sampleRate = codec->sample_rate;
        channels = codec->ch_layout.nb_channels;
        if (sampleRate <= 0)
            return false;
    }
    blockIsSilence = true;
    blockPts = lastPacketPts != AV_NOPTS_VALUE ? toFrames(lastPacketPts) : AV_NOPTS_VALUE;
    blockBegin = 0;
    blockEnd = amrBlockFrames;
    return true;
}

bool AudioDecoder::Impl::configureConverter(const AVFrame *f)
{
    swr_free(&swr);
    av_channel_layout_uninit(&swrInLayout);
    swrInFormat = -1;
    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    const int inChannels = f->ch_layout.nb_channels;
    if (inChannels == channels) {
        // Same layout on both sides: a pure sample-format conversion, no mixing.
        av_channel_layout_copy(&inLayout, &f->ch_layout);
        av_channel_layout_copy(&outLayout, &f->ch_layout);
    } else {
        // The stream changed its channel count after open(): mixed to the fixed count.
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, inChannels);
        else
            av_channel_layout_copy(&inLayout, &f->ch_layout);
        av_channel_layout_default(&outLayout, channels);
    }
    int result = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, f->sample_rate, &inLayout,
                                     AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (result < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        return false;
    }
    // Converters size their work buffers on first use; do that now, for slices and
    // frames of any size read() will hand them, rather than on the render thread.
    const int warm = std::max(8192, f->nb_samples);
    uint8_t **in = nullptr;
    if (av_samples_alloc_array_and_samples(&in, nullptr, inChannels, warm,
                                           AVSampleFormat(f->format), 0) >= 0) {
        av_samples_set_silence(in, 0, warm, inChannels, AVSampleFormat(f->format));
        std::vector<int16_t> out(size_t(warm) * size_t(channels));
        uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(out.data())};
        swr_convert(swr, outPlanes, warm, const_cast<const uint8_t **>(in), warm);
        av_freep(&in[0]);
        av_freep(&in);
    }
    swrInFormat = f->format;
    av_channel_layout_copy(&swrInLayout, &f->ch_layout);
    return true;
}

void AudioDecoder::Impl::deliver(int16_t *out, int count)
{
    const size_t bytes = size_t(count) * size_t(channels) * sizeof(int16_t);
    if (blockIsSilence) {
        std::memset(out, 0, bytes);
    } else if (frame->format == AV_SAMPLE_FMT_S16 && frame->ch_layout.nb_channels == channels) {
        std::memcpy(out, frame->data[0] + size_t(blockBegin) * size_t(channels) * 2, bytes);
    } else {
        const int frameChannels = frame->ch_layout.nb_channels;
        const AVSampleFormat sampleFormat = AVSampleFormat(frame->format);
        const int sampleBytes = av_get_bytes_per_sample(sampleFormat);
        const uint8_t *in[kMaxFrameChannels];
        if (av_sample_fmt_is_planar(sampleFormat)) {
            for (int c = 0; c < frameChannels; ++c)
                in[c] = frame->extended_data[c] + size_t(blockBegin) * size_t(sampleBytes);
        } else {
            in[0] = frame->data[0] + size_t(blockBegin) * size_t(sampleBytes * frameChannels);
        }
        uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(out)};
        const int converted = swr_convert(swr, outPlanes, count, in, count);
        if (converted < count) {
            const int done = std::max(0, converted);
            std::memset(out + size_t(done) * size_t(channels), 0,
                        size_t(count - done) * size_t(channels) * sizeof(int16_t));
        }
    }
    blockBegin += count;
}

// Moves the demuxer to some point before target (in delivered frames), leaving
// room for the decoder's pre-roll; *fromStart tells whether that is the start of
// the stream. The decoder is emptied.
bool AudioDecoder::Impl::repositionDemuxer(int64_t target, bool *fromStart)
{
    const AVRational perFrame{1, sampleRate};
    const int64_t begin = target - preroll;
    bool moved = false;
    *fromStart = begin <= 0;
    if (!*fromStart) {
        const int64_t ts = av_rescale_q(origin + begin, perFrame, stream->time_base);
        moved = av_seek_frame(format.get(), streamIndex, ts, AVSEEK_FLAG_BACKWARD) >= 0;
        *fromStart = !moved;
    }
    if (!moved) {
        // The first packet may lie well before the start time: priming packets with
        // negative timestamps, or decoder delay longer than a packet (the start time
        // is then inside a later packet). Demuxers with an index of their own take an
        // early timestamp; the others are sent to the first packet they have indexed.
        const int64_t startTs = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        const int64_t earlyTs = startTs - av_rescale_q(std::max<int64_t>(preroll, sampleRate),
                                                       perFrame, stream->time_base);
        moved = av_seek_frame(format.get(), streamIndex, earlyTs, AVSEEK_FLAG_BACKWARD) >= 0;
        if (!moved && avformat_index_get_entries_count(stream) > 0) {
            const AVIndexEntry *first = avformat_index_get_entry(stream, 0);
            moved = av_seek_frame(format.get(), streamIndex, first->timestamp,
                                  AVSEEK_FLAG_BACKWARD) >= 0;
        }
        if (!moved)
            moved =
                av_seek_frame(format.get(), streamIndex, startTs, AVSEEK_FLAG_BACKWARD) >= 0 ||
                avformat_seek_file(format.get(), streamIndex, INT64_MIN, startTs, startTs, 0) >= 0;
    }
    if (!moved)
        return false;
    avcodec_flush_buffers(codec);
    blockBegin = blockEnd = 0;
    skipCarry = 0;
    lastPacketPts = AV_NOPTS_VALUE;
    draining = false;
    finished = false;
    failures = 0;
    return true;
}

// Decodes and drops frames until the current block starts exactly at target (in
// delivered frames). Positions come from the frames' timestamps; where a stream has
// none, they are counted from the start. A demuxer that lands after the target
// (an imprecise index) is sent back to the start. False on a hard read error.
bool AudioDecoder::Impl::synchronise(int64_t target, bool fromStart, bool haveFirstBlock)
{
    const bool openingBlock = haveFirstBlock;
    bool haveBlock = haveFirstBlock;
    int64_t counted = 0;
    for (bool firstSeen = false;;) {
        if (!haveBlock) {
            const Next next = decodeNext();
            if (next == Next::HardError)
                return false;
            if (next == Next::End)
                return true;
        }
        haveBlock = false;
        int64_t pos;
        if (blockPts != AV_NOPTS_VALUE) {
            pos = blockPts + blockBegin - origin;
        } else if (fromStart) {
            pos = counted;
        } else {
            if (!repositionDemuxer(0, &fromStart))
                return false;
            fromStart = true;
            counted = 0;
            continue;
        }
        // A stream whose first frame starts after its stated start time begins at
        // that frame.
        if (openingBlock && !firstSeen && blockPts != AV_NOPTS_VALUE && pos > 0) {
            origin += pos;
            pos = 0;
        }
        firstSeen = true;
        if (pos < 0) { // before the first frame to deliver (priming, decoder delay)
            const int64_t trim = std::min<int64_t>(-pos, blockEnd - blockBegin);
            blockBegin += int(trim);
            pos += trim;
            if (blockBegin >= blockEnd)
                continue;
        }
        const int64_t length = blockEnd - blockBegin;
        counted = pos + length;
        if (pos > target) {
            if (fromStart)
                return true; // a gap in the stream: delivery goes on after it
            if (!repositionDemuxer(0, &fromStart))
                return false;
            fromStart = true;
            counted = 0;
            continue;
        }
        if (pos + length <= target)
            continue;
        blockBegin += int(target - pos);
        return true;
    }
}

AudioDecoder::AudioDecoder() : d(std::make_unique<Impl>()) {}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::open(const QString& path)
{
    auto impl = std::make_unique<Impl>();
    const bool opened = impl->open(path);
    if (!opened) {
        const QString error = impl->error;
        impl = std::make_unique<Impl>();
        impl->error = error;
    }
    d = std::move(impl);
    m_position.store(0, std::memory_order_relaxed);
    return opened;
}

bool AudioDecoder::isOpen() const
{
    return d->codec != nullptr;
}

QString AudioDecoder::errorString() const
{
    return d->error;
}

int AudioDecoder::sampleRate() const
{
    return d->sampleRate;
}

int AudioDecoder::channels() const
{
    return d->channels;
}

int64_t AudioDecoder::totalFrames() const
{
    return d->totalFrames;
}

bool AudioDecoder::lengthIsExact() const
{
    return d->exact;
}

ReplayGain::Tags AudioDecoder::replayGainTags() const
{
    return d->replayGain;
}

int64_t AudioDecoder::read(int16_t *out, int64_t frames)
{
    if (!d->codec || !out)
        return -1;
    if (frames <= 0 || d->atEnd)
        return 0;
    const int64_t start = m_position.load(std::memory_order_relaxed);
    int64_t wanted = frames;
    if (d->exact)
        wanted = std::min(wanted, std::max<int64_t>(0, d->totalFrames - start));
    int64_t done = 0;
    while (done < wanted) {
        if (d->blockBegin < d->blockEnd) {
            const int count = int(std::min<int64_t>(d->blockEnd - d->blockBegin, wanted - done));
            d->deliver(out + done * d->channels, count);
            done += count;
            continue;
        }
        const Impl::Next next = d->decodeNext();
        if (next == Impl::Next::End)
            break;
        if (next == Impl::Next::HardError) {
            m_position.store(start + done, std::memory_order_relaxed);
            if (++d->hardErrors >= kMaxHardErrors)
                d->finished = true;
            return -1;
        }
    }
    d->hardErrors = 0;
    m_position.store(start + done, std::memory_order_relaxed);
    return done;
}

bool AudioDecoder::seek(int64_t frame)
{
    if (!d->codec)
        return false;
    frame = std::max<int64_t>(0, frame);
    // The next frame is always the one at tell() (e.g. the rewind right after open).
    if (!d->atEnd && frame == tell())
        return true;
    if (frame >= d->totalFrames && (d->exact || d->totalFrames > 0)) {
        d->atEnd = true;
        d->blockBegin = d->blockEnd = 0;
        m_position.store(d->totalFrames, std::memory_order_relaxed);
        return true;
    }
    bool fromStart = false;
    if (!d->repositionDemuxer(frame, &fromStart))
        return false;
    d->atEnd = false;
    m_position.store(frame, std::memory_order_relaxed);
    return d->synchronise(frame, fromStart, false);
}

std::optional<AudioDecoder::Probe> AudioDecoder::probe(const QString& path)
{
    // MPEG audio, the bulk of most collections, states everything in its first
    // frames: no container open (a tenth of the time). Tags of such files are read
    // by a tag library.
    {
        QFile file;
        if (!RegularFile::open(file, path))
            return std::nullopt;
        if (const auto mpeg = StreamLengthReader::mpegAudio(file); mpeg && mpeg->startsWithFrames)
            return Probe{mpeg->sampleRate, mpeg->channels, mpeg->frames, mpeg->exact, {}, {}, {}};
    }
    AudioContainer::FormatPtr format = AudioContainer::open(path, nullptr);
    if (!format)
        return std::nullopt;
    const int index = AudioContainer::pickAudioStream(format.get());
    if (index < 0)
        return std::nullopt;
    AVStream *stream = format->streams[index];
    AudioContainer::Measurement m = AudioContainer::measure(format.get(), stream, path);
    if (m.sampleRate <= 0 || m.frames < 0) {
        avformat_find_stream_info(format.get(), nullptr);
        m = AudioContainer::measure(format.get(), stream, path);
        if (m.sampleRate <= 0 || m.frames < 0)
            return std::nullopt;
    }
    Probe probe{m.sampleRate, m.channels, m.frames, m.exact, {}, {}, {}};
    auto tag = [&](const char *key) {
        const AVDictionaryEntry *entry = av_dict_get(format->metadata, key, nullptr, 0);
        if (!entry)
            entry = av_dict_get(stream->metadata, key, nullptr, 0);
        return entry ? QString::fromUtf8(entry->value) : QString();
    };
    probe.title = tag("title");
    probe.artist = tag("artist");
    if (probe.artist.isEmpty())
        probe.artist = tag("author");
    probe.album = tag("album");
    return probe;
}
