#include "app/MprisArtCache.h"

#include "media/MediaInfo.h"
#include "platform/AtomicFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>
#include <limits>

namespace {

// Also matches what an interrupted write leaves ("cover-<digest>.<ext>.XXXXXX").
const QString kCoverPattern = QStringLiteral("cover-*");

void removeCovers(const QString& folder, const QString& keptName = {})
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({kCoverPattern}, QDir::Files | QDir::Hidden)) {
        if (name != keptName)
            QFile::remove(dir.filePath(name));
    }
}

// On the queue: the picture of filePath as the folder's one cover; its path, or
// empty when there is none. Nothing is written for a request that a newer one
// replaced: that one leaves the folder as it must be.
QString writeCover(const QString& folder, const QString& filePath, quint64 request,
                   const std::atomic<quint64>& newest)
{
    std::optional<MediaInfo::Picture> picture;
    if (!filePath.isEmpty())
        picture = MediaInfo(filePath).picture();
    if (newest.load() != request)
        return {};
    QString name;
    if (picture) {
        const QByteArray digest =
            QCryptographicHash::hash(picture->data, QCryptographicHash::Sha256).toHex().left(24);
        name = QStringLiteral("cover-%1.%2").arg(QString::fromLatin1(digest), picture->extension);
        const QFileInfo existing(QDir(folder).filePath(name));
        const bool written = existing.isFile() && existing.size() == picture->data.size();
        if (!written &&
            !(QDir().mkpath(folder) && AtomicFile::write(existing.filePath(), picture->data)))
            name.clear();
    }
    removeCovers(folder, name);
    return name.isEmpty() ? QString() : QDir(folder).filePath(name);
}

} // namespace

MprisArtCache::MprisArtCache(QString folder, QObject *parent)
    : QObject(parent), m_folder(std::move(folder))
{}

MprisArtCache::~MprisArtCache()
{
    m_newest->store(std::numeric_limits<quint64>::max());
    m_queue.waitForDone();
    removeCovers(m_folder);
}

QString MprisArtCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

void MprisArtCache::follow(const QString& filePath)
{
    if (m_request > 0 && filePath == m_followed)
        return;
    m_followed = filePath;
    m_coverPath.clear();
    const quint64 request = ++m_request;
    m_newest->store(request);
    m_queue.async([self = QPointer<MprisArtCache>(this), folder = m_folder, filePath, request,
                   newest = m_newest] {
        const QString cover = writeCover(folder, filePath, request, *newest);
        Dispatch::main([self, request, cover] {
            if (self)
                self->install(request, cover);
        });
    });
}

QString MprisArtCache::artUrl() const
{
    return m_coverPath.isEmpty() ? QString()
                                 : QUrl::fromLocalFile(m_coverPath).toString(QUrl::FullyEncoded);
}

void MprisArtCache::install(quint64 request, const QString& coverPath)
{
    if (request != m_request || coverPath == m_coverPath)
        return;
    m_coverPath = coverPath;
    Q_EMIT artChanged();
}
