#include "app/CoverArt.h"

#include "media/MediaInfo.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QCache>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QPointer>

struct CoverArt::Cache {
    static constexpr qsizetype kMaxSources = 10000;
    QHash<QString, QString> sources; // file -> itself, its folder image, or empty: none
    QCache<QString, QImage> pictures{int(kCacheBytes >> 10)}; // by source; cost in KiB
};

namespace {

// bytes decoded, at most CoverArt::kMaxSide a side; null when they are no image.
QImage decoded(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > CoverArt::kMaxSide || size.height() > CoverArt::kMaxSide))
        reader.setScaledSize(
            size.scaled(CoverArt::kMaxSide, CoverArt::kMaxSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > CoverArt::kMaxSide || image.height() > CoverArt::kMaxSide)
        image = image.scaled(CoverArt::kMaxSide, CoverArt::kMaxSide, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    return image;
}

QImage readSource(const QString& filePath, const QString& source)
{
    if (source == filePath) {
        const std::optional<MediaInfo::Picture> picture = MediaInfo(filePath).picture();
        return picture ? decoded(picture->data) : QImage();
    }
    QFile file;
    if (!RegularFile::open(file, source) || file.size() > CoverArt::kMaxImageFileBytes)
        return {};
    return decoded(file.readAll());
}

} // namespace

CoverArt::CoverArt(QObject *parent) : QObject(parent), m_cache(std::make_shared<Cache>()) {}

CoverArt::~CoverArt() = default;

QString CoverArt::folderImageOf(const QString& filePath)
{
    const QDir dir = QFileInfo(filePath).dir();
    const QStringList files = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& stem :
         {QStringLiteral("cover"), QStringLiteral("folder"), QStringLiteral("front")}) {
        for (const QString& name : files) {
            const QString path = dir.filePath(name);
            if (QFileInfo(name).completeBaseName().compare(stem, Qt::CaseInsensitive) == 0 &&
                RegularFile::exists(path) && !QImageReader::imageFormat(path).isEmpty())
                return path;
        }
    }
    return {};
}

void CoverArt::request(const QString& filePath, int side)
{
    const quint64 request = ++m_request;
    m_newest->store(request);
    if (filePath.isEmpty() || side <= 0) {
        Q_EMIT pictureReady(filePath, QImage());
        return;
    }
    const QPointer<CoverArt> self(this);
    m_queue.async([self, filePath, side, request, newest = m_newest, cache = m_cache] {
        if (newest->load() != request)
            return;
        QImage scaled;
        if (RegularFile::exists(filePath)) {
            QImage read;
            if (!cache->sources.contains(filePath)) {
                // The embedded picture is decoded as it is found; the folder's on demand.
                if (const auto embedded = MediaInfo(filePath).picture())
                    read = decoded(embedded->data);
                const QString source = read.isNull() ? folderImageOf(filePath) : filePath;
                if (cache->sources.size() >= Cache::kMaxSources)
                    cache->sources.clear();
                cache->sources.insert(filePath, source);
            }
            const QString source = cache->sources.value(filePath);
            const QImage *picture = source.isEmpty() ? nullptr : cache->pictures.object(source);
            if (!source.isEmpty() && !picture) {
                if (read.isNull())
                    read = readSource(filePath, source);
                if (!read.isNull()) {
                    cache->pictures.insert(source, new QImage(read), int(read.sizeInBytes() >> 10));
                    picture = &read;
                }
            }
            if (picture && newest->load() == request)
                scaled = picture->scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        if (newest->load() != request)
            return;
        Dispatch::main([self, filePath, scaled, request] {
            if (self && self->m_request == request)
                Q_EMIT self->pictureReady(filePath, scaled);
        });
    });
}
