#include "audio/AudioContainer.h"

#include "audio/StreamLengthReader.h"
#include "platform/RegularFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcFfmpeg, "quaver.audio.ffmpeg", QtWarningMsg)

// Containers that may hold the audio of a supported file. Detection is by content,
// so a misnamed file still opens; anything else (images, playlists, subtitles,
// network manifests) is refused before a demuxer runs on it.
constexpr const char *kFormatWhitelist =
    "mp3,aac,mov,mp4,m4a,3gp,3g2,mj2,wav,w64,aiff,caf,amr,amrnb,amrwb,flac,ogg,matroska,webm,"
    "asf,avi,mpeg,mpegts,flv,ape,wv,au,tta,ac3,eac3,dts,loas,mpc,mpc8,voc,rm,wsaud,dsf";

void ffmpegLog(void *object, int level, const char *format, va_list args)
{
    // Reached from the render thread on damaged data; stays silent unless asked for.
    if (level > av_log_get_level())
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &printPrefix);
    const size_t length = std::strlen(line);
    if (length && line[length - 1] == '\n')
        line[length - 1] = '\0';
    qCDebug(lcFfmpeg, "%s", line);
}

void initialiseFfmpeg()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(lcFfmpeg().isDebugEnabled() ? AV_LOG_VERBOSE : AV_LOG_QUIET);
        av_log_set_callback(ffmpegLog);
    });
}

bool isPcm(AVCodecID id)
{
    return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

bool isMovFamily(const AVFormatContext *format)
{
    return std::strncmp(format->iformat->name, "mov,", 4) == 0;
}

bool formatIs(const AVFormatContext *format, const char *name)
{
    return std::strcmp(format->iformat->name, name) == 0;
}

} // namespace

ReplayGain::Tags AudioContainer::replayGainTags(AVFormatContext *format, AVStream *stream)
{
    // Ogg keeps its comments on the stream, the other containers on the file.
    return ReplayGain::read([&](const char *key) -> const char * {
        const AVDictionaryEntry *entry = av_dict_get(stream->metadata, key, nullptr, 0);
        if (!entry)
            entry = av_dict_get(format->metadata, key, nullptr, 0);
        return entry ? entry->value : nullptr;
    });
}

QString AudioContainer::errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

void AudioContainer::FormatCloser::operator()(AVFormatContext *format) const
{
    avformat_close_input(&format);
}

AudioContainer::FormatPtr AudioContainer::open(const QString& path, QString *error)
{
    if (!RegularFile::exists(path)) {
        if (error)
            *error = QStringLiteral("cannot open the file: not a regular file");
        return nullptr;
    }
    initialiseFfmpeg();
    // The "file:" prefix keeps a colon in a file name from selecting a protocol.
    const QByteArray url = QByteArrayLiteral("file:") + QFile::encodeName(path);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kFormatWhitelist, 0);
    AVFormatContext *format = nullptr;
    const int result = avformat_open_input(&format, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        if (error)
            *error = QStringLiteral("cannot open the file: %1").arg(errorText(result));
        return nullptr;
    }
    return FormatPtr(format);
}

int AudioContainer::pickAudioStream(AVFormatContext *format)
{
    int first = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream *stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO ||
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            !avcodec_find_decoder(stream->codecpar->codec_id))
            continue;
        if (stream->disposition & AV_DISPOSITION_DEFAULT)
            return int(i);
        if (first < 0)
            first = int(i);
    }
    return first;
}

AudioContainer::Measurement AudioContainer::measure(AVFormatContext *format, AVStream *stream,
                                                    const QString& path)
{
    const AVCodecParameters *par = stream->codecpar;
    const bool rawMpeg = formatIs(format, "mp3");
    const bool adts = formatIs(format, "aac");
    const bool amr = std::strncmp(format->iformat->name, "amr", 3) == 0;
    const bool caf = formatIs(format, "caf");
    if (rawMpeg || adts || amr || caf) {
        QFile file;
        if (RegularFile::open(file, path)) {
            const auto length = rawMpeg ? StreamLengthReader::mpegAudio(file)
                                : adts  ? StreamLengthReader::adts(file)
                                : amr   ? StreamLengthReader::amr(file)
                                        : StreamLengthReader::caf(file);
            if (length)
                return {length->sampleRate, length->channels, length->frames, length->exact};
        }
    }

    Measurement m;
    m.sampleRate = par->sample_rate;
    m.channels = par->ch_layout.nb_channels;
    if (m.sampleRate <= 0)
        return m;
    const AVRational perFrame{1, m.sampleRate};
    const bool pcm = isPcm(par->codec_id);
    const bool stated = pcm || isMovFamily(format) || formatIs(format, "wav") ||
                        formatIs(format, "w64") || formatIs(format, "aiff") ||
                        formatIs(format, "caf") || formatIs(format, "flac");
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) {
        m.frames = av_rescale_q(stream->duration, stream->time_base, perFrame);
        m.exact = stated;
    } else if (pcm && stream->nb_frames > 0 &&
               (formatIs(format, "caf") || formatIs(format, "aiff"))) {
        m.frames = stream->nb_frames; // one frame per packet
        m.exact = true;
    } else if (format->duration > 0 && format->duration != AV_NOPTS_VALUE) {
        m.frames = av_rescale_q(format->duration, AV_TIME_BASE_Q, perFrame);
    }
    return m;
}

int64_t AudioContainer::prerollFrames(const AVCodecParameters *par, int sampleRate)
{
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get(par->codec_id);
    if (isPcm(par->codec_id) || (descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS)))
        return 0;
    const int64_t frameSize = par->frame_size > 0 ? par->frame_size : 1152;
    return std::max<int64_t>({par->seek_preroll, 8 * frameSize, sampleRate / 5});
}
