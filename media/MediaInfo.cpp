#include "media/MediaInfo.h"

#include "audio/AudioDecoder.h"
#include "media/TagFileStream.h"

#include <QLoggingCategory>
#include <mutex>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/tdebuglistener.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcMedia, "quaver.media", QtWarningMsg)

// TagLib reports malformed tags on standard error unless given a listener.
class TagLibLog : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String& message) override
    {
        qCDebug(lcMedia, "TagLib: %s", message.toCString(true));
    }
};

void routeTagLibMessages()
{
    static std::once_flag once;
    static TagLibLog listener;
    std::call_once(once, [] { TagLib::setDebugListener(&listener); });
}

QString toQString(const TagLib::String& text)
{
    return QString::fromUtf8(text.toCString(true)).trimmed();
}

void insertIfSet(QVariantMap& tags, const QString& key, const QString& value)
{
    if (!value.isEmpty())
        tags.insert(key, value);
}

// One picture found in a tag, before it is chosen.
struct Candidate {
    TagLib::ByteVector data;
    bool frontCover = false;
};

void addId3v2Pictures(TagLib::ID3v2::Tag *tag, std::vector<Candidate>& found)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame *frame : tag->frameListMap()["APIC"]) {
        if (const auto *apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
            found.push_back(
                {apic->picture(), apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover});
    }
}

void addFlacPictures(const TagLib::List<TagLib::FLAC::Picture *>& pictures,
                     std::vector<Candidate>& found)
{
    for (const TagLib::FLAC::Picture *picture : pictures)
        found.push_back({picture->data(), picture->type() == TagLib::FLAC::Picture::FrontCover});
}

std::vector<Candidate> picturesOf(TagLib::File *file)
{
    std::vector<Candidate> found;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(file)) {
        addId3v2Pictures(mpeg->ID3v2Tag(), found);
    } else if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file)) {
        addId3v2Pictures(wav->ID3v2Tag(), found);
    } else if (auto *aiff = dynamic_cast<TagLib::RIFF::AIFF::File *>(file)) {
        addId3v2Pictures(aiff->tag(), found);
    } else if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file)) {
        // "covr" has no picture types: the first one is the cover.
        if (TagLib::MP4::Tag *tag = mp4->tag(); tag && tag->contains("covr")) {
            for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList())
                found.push_back({art.data(), found.empty()});
        }
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file)) {
        addFlacPictures(flac->pictureList(), found);
    } else if (auto *xiph = dynamic_cast<TagLib::Ogg::XiphComment *>(file->tag())) {
        addFlacPictures(xiph->pictureList(), found);
    }
    return found;
}

// The kind of image by its first bytes: tags often name the wrong type, or none.
QString imageExtension(const TagLib::ByteVector& data)
{
    const auto startsWith = [&](const char *magic, unsigned at = 0) {
        return data.containsAt(TagLib::ByteVector(magic), at);
    };
    if (startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (startsWith("GIF87a") || startsWith("GIF89a"))
        return QStringLiteral("gif");
    if (startsWith("BM"))
        return QStringLiteral("bmp");
    if (startsWith("RIFF") && startsWith("WEBP", 8))
        return QStringLiteral("webp");
    return {};
}

} // namespace

MediaInfo::MediaInfo(QString path) : m_path(std::move(path)) {}

QUrl MediaInfo::url() const
{
    return QUrl::fromLocalFile(m_path);
}

std::optional<QVariantMap> MediaInfo::id3Tags()
{
    m_status = 0;
    routeTagLibMessages();
    QVariantMap tags;
    {
        TagFileStream stream(m_path);
        if (!stream.isOpen()) {
            m_status = -1;
            return std::nullopt;
        }
        const TagLib::FileRef file(&stream, false);
        if (!file.isNull() && file.tag()) {
            const TagLib::Tag *tag = file.tag();
            insertIfSet(tags, QStringLiteral("title"), toQString(tag->title()));
            insertIfSet(tags, QStringLiteral("artist"), toQString(tag->artist()));
            insertIfSet(tags, QStringLiteral("album"), toQString(tag->album()));
        }
        // FLAC and WAV files TagLib has opened passed its check of their
        // structure, and it reads every tag they can carry: the container has
        // nothing to add, and opening it would cost several times the rest of the
        // file's reading (a folder of 100,000 WAV files: seconds). A WAV's tag()
        // is its ID3v2 chunk alone; its RIFF INFO list is read apart, and counts
        // as the container's tags did.
        if (!file.isNull() && dynamic_cast<const TagLib::FLAC::File *>(file.file()))
            return tags;
        if (const auto *wav = file.isNull()
                                  ? nullptr
                                  : dynamic_cast<const TagLib::RIFF::WAV::File *>(file.file())) {
            if (!tags.contains(QStringLiteral("title")) &&
                !tags.contains(QStringLiteral("artist")) && wav->hasInfoTag()) {
                const TagLib::RIFF::Info::Tag *info = wav->InfoTag();
                insertIfSet(tags, QStringLiteral("title"), toQString(info->title()));
                insertIfSet(tags, QStringLiteral("artist"), toQString(info->artist()));
                if (!tags.contains(QStringLiteral("album")))
                    insertIfSet(tags, QStringLiteral("album"), toQString(info->album()));
            }
            return tags;
        }
    }
    if (tags.contains(QStringLiteral("title")) || tags.contains(QStringLiteral("artist")))
        return tags;

    // TagLib found nothing it could use (it also "opens" files that hold no audio at
    // all): the container decides whether this is a readable file.
    if (const auto probe = AudioDecoder::probe(m_path)) {
        insertIfSet(tags, QStringLiteral("title"), probe->title.trimmed());
        insertIfSet(tags, QStringLiteral("artist"), probe->artist.trimmed());
        if (!tags.contains(QStringLiteral("album")))
            insertIfSet(tags, QStringLiteral("album"), probe->album.trimmed());
        return tags;
    }
    if (!tags.isEmpty())
        return tags;
    m_status = -1;
    return std::nullopt;
}

std::optional<MediaInfo::Picture> MediaInfo::picture()
{
    m_status = 0;
    routeTagLibMessages();
    TagFileStream stream(m_path);
    if (!stream.isOpen()) {
        m_status = -1;
        return std::nullopt;
    }
    const TagLib::FileRef ref(&stream, false);
    if (ref.isNull()) {
        m_status = -1;
        return std::nullopt;
    }
    std::optional<Picture> chosen;
    bool chosenIsFront = false;
    for (const Candidate& candidate : picturesOf(ref.file())) {
        if (candidate.data.size() > unsigned(kMaxPictureBytes))
            continue;
        const QString extension = imageExtension(candidate.data);
        if (extension.isEmpty() || (chosen && (chosenIsFront || !candidate.frontCover)))
            continue;
        chosen =
            Picture{QByteArray(candidate.data.data(), qsizetype(candidate.data.size())), extension};
        chosenIsFront = candidate.frontCover;
    }
    return chosen;
}

std::optional<QString> MediaInfo::duration()
{
    m_status = 0;
    const auto probe = AudioDecoder::probe(m_path);
    if (!probe || probe->sampleRate <= 0) {
        m_status = -1;
        return std::nullopt;
    }
    return durationText(probe->totalFrames, probe->sampleRate);
}

std::optional<QString> MediaInfo::durationForItemAtPath(const QString& path)
{
    return MediaInfo(path).duration();
}

QString MediaInfo::durationText(int64_t frames, double sampleRate)
{
    if (!(sampleRate > 0))
        return {};
    const float seconds = float(double(frames) / sampleRate);
    const int minutes = int(seconds / 60.0f);
    const int rest = int(seconds - 60.0f * float(minutes));
    return rest > 9 ? QStringLiteral("%1:%2").arg(minutes).arg(rest)
                    : QStringLiteral("%1:0%2").arg(minutes).arg(rest);
}
