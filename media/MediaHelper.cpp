#include "media/MediaHelper.h"

#include "media/MediaInfo.h"

#include <QFileInfo>

MediaList MediaHelper::collectionWithMedia(const QStringList& paths)
{
    MediaList records;
    records.reserve(paths.size());
    for (const QString& path : paths) {
        if (!QFileInfo::exists(path))
            continue;
        MediaInfo info(path);
        auto record = std::make_shared<MediaDesc>();
        if (const auto tags = info.id3Tags()) {
            if (const auto title = tags->value(QStringLiteral("title")); title.isValid())
                record->title = title.toString();
            if (const auto artist = tags->value(QStringLiteral("artist")); artist.isValid())
                record->artist = artist.toString();
            if (const auto album = tags->value(QStringLiteral("album")); album.isValid())
                record->album = album.toString();
        }
        record->filePath = info.path();
        records.append(std::move(record));
    }
    return records;
}
