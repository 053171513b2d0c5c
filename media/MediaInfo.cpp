#include "media/MediaInfo.h"

#include "audio/AudioDecoder.h"

#include <QFile>
#include <QLoggingCategory>
#include <mutex>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tdebuglistener.h>

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
        const TagLib::FileRef file(QFile::encodeName(m_path).constData(), false);
        if (!file.isNull() && file.tag()) {
            const TagLib::Tag *tag = file.tag();
            insertIfSet(tags, QStringLiteral("title"), toQString(tag->title()));
            insertIfSet(tags, QStringLiteral("artist"), toQString(tag->artist()));
            insertIfSet(tags, QStringLiteral("album"), toQString(tag->album()));
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
