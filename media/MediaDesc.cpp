#include "media/MediaDesc.h"

#include "media/MediaListSnapshot.h"

#include <algorithm>
#include <new>

namespace {

// Stored archives depend on these names, letter case included.
constexpr const char *kTitle = "Title";
constexpr const char *kArtist = "Artist";
constexpr const char *kDuration = "Duration";
constexpr const char *kFilePath = "FilePath";
constexpr const char *kAlbum = "Album";
constexpr const char *kAlbumArt = "AlbumArt";
constexpr const char *kLyric = "Lyric";

const QString& className()
{
    static const QString name = QStringLiteral("MediaDesc");
    return name;
}

const QStringList& classChain()
{
    static const QStringList chain{className(), QStringLiteral("NSObject")};
    return chain;
}

// Every element becomes a record of its own, about 250 bytes in memory however
// few bytes of the file refer to it. A record an archiver writes takes at least
// 16 bytes (its dictionary with "$class" and a value, its offset, its element
// reference), so a list with more elements than that allows (and more than any
// small list) must refer to the same records over and over: it is refused, which
// keeps decoding within about 16 times the file size.
constexpr qsizetype kMinBytesPerElement = 16;
constexpr size_t kElementsAlwaysAllowed = 4096;

} // namespace

KeyedArchiver::Ref MediaDesc::encodeWithCoder(KeyedArchiver& coder) const
{
    // The record takes its index before its values, as the platform archiver lays
    // out objects.
    const KeyedArchiver::Ref slot = coder.reserve();
    const KeyedArchiver::Ref titleRef = coder.encodeString(title);
    const KeyedArchiver::Ref artistRef = coder.encodeString(artist);
    const KeyedArchiver::Ref durationRef = coder.encodeString(duration);
    const KeyedArchiver::Ref filePathRef = coder.encodeString(filePath);
    const KeyedArchiver::Ref albumRef = coder.encodeString(album);
    const KeyedArchiver::Ref albumArtRef = coder.encodeData(albumArt);
    const KeyedArchiver::Ref lyricRef = coder.encodeString(lyric);
    return coder.encodeObject(classChain(),
                              {{kTitle, titleRef},
                               {kArtist, artistRef},
                               {kDuration, durationRef},
                               {kFilePath, filePathRef},
                               {kAlbum, albumRef},
                               {kAlbumArt, albumArtRef},
                               {kLyric, lyricRef}},
                              slot);
}

bool MediaDesc::initWithCoder(const KeyedUnarchiver::Object& coder)
{
    if (coder.className() != className())
        return false;
    title = coder.decodeStringForKey(kTitle);
    artist = coder.decodeStringForKey(kArtist);
    duration = coder.decodeStringForKey(kDuration);
    filePath = coder.decodeStringForKey(kFilePath);
    album = coder.decodeStringForKey(kAlbum);
    albumArt = coder.decodeDataForKey(kAlbumArt);
    lyric = coder.decodeStringForKey(kLyric);
    return true;
}

QByteArray MediaDesc::archivedDataWithItems(const MediaList& items)
{
    return MediaListSnapshot(items).archivedData();
}

std::optional<MediaList> MediaDesc::itemsWithArchivedData(const QByteArray& data)
{
    try {
        const KeyedUnarchiver coder(data);
        const std::optional<KeyedUnarchiver::Ref> root = coder.topObject();
        if (!root)
            return std::nullopt;
        const std::optional<std::vector<KeyedUnarchiver::Ref>> elements = coder.decodeArray(*root);
        if (!elements || elements->size() > std::max(kElementsAlwaysAllowed,
                                                     size_t(data.size() / kMinBytesPerElement)))
            return std::nullopt;
        MediaList items;
        items.reserve(qsizetype(elements->size()));
        for (KeyedUnarchiver::Ref ref : *elements) {
            const std::optional<KeyedUnarchiver::Object> object = coder.decodeObject(ref);
            auto item = std::make_shared<MediaDesc>();
            if (!object || !item->initWithCoder(*object))
                return std::nullopt;
            items.append(std::move(item));
        }
        return items;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}
