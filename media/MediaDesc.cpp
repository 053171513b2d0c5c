#include "media/MediaDesc.h"

#include "media/MediaListSnapshot.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
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

// From this length on, half of a list is decoded on a worker (a list of 100,000
// records takes some 200 ms on one thread, most of it making the records' memory).
constexpr size_t kElementsDecodedApart = 16384;

// The records at refs of coder's archive, or nullopt when one is not a "MediaDesc".
std::optional<MediaList> decodeRecords(const KeyedUnarchiver& coder,
                                       const std::vector<KeyedUnarchiver::Ref>& refs)
{
    MediaList items;
    items.reserve(qsizetype(refs.size()));
    for (KeyedUnarchiver::Ref ref : refs) {
        const std::optional<KeyedUnarchiver::Object> object = coder.decodeObject(ref);
        auto item = std::make_shared<MediaDesc>();
        if (!object || !item->initWithCoder(*object))
            return std::nullopt;
        items.append(std::move(item));
    }
    return items;
}

// Records decoded on whichever thread comes first: a worker's run(), or the
// caller's take(), which otherwise waits for the worker. Shared by both; a worker
// that starts after take() finds nothing left to do.
class Decoding {
public:
    Decoding(QByteArray data, std::vector<KeyedUnarchiver::Ref> refs)
        : m_data(std::move(data)), m_refs(std::move(refs))
    {}

    void run()
    {
        if (claim())
            finish(decode());
    }

    // The records; nullopt when they are unreadable. wanted false: the caller has
    // no use for them, and they are not decoded here.
    std::optional<MediaList> take(bool wanted)
    {
        if (claim())
            return wanted ? decode() : std::nullopt;
        if (!wanted)
            return std::nullopt; // the worker's result goes with the last owner
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return m_state == State::Done; });
        return std::move(m_result);
    }

private:
    enum class State { Waiting, Decoding, Done };

    bool claim()
    {
        const std::lock_guard lock(m_mutex);
        if (m_state != State::Waiting)
            return false;
        m_state = State::Decoding;
        return true;
    }

    void finish(std::optional<MediaList> result)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_result = std::move(result);
            m_state = State::Done;
        }
        m_done.notify_all();
    }

    std::optional<MediaList> decode() const
    {
        try {
            return decodeRecords(KeyedUnarchiver(m_data), m_refs);
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }

    const QByteArray m_data;                        // immutable
    const std::vector<KeyedUnarchiver::Ref> m_refs; // immutable
    std::mutex m_mutex;                             // guards m_state and m_result
    std::condition_variable m_done;                 // m_state became Done
    State m_state = State::Waiting;
    std::optional<MediaList> m_result; // the worker's, when it decoded them
};

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
        std::optional<std::vector<KeyedUnarchiver::Ref>> elements = coder.decodeArray(*root);
        if (!elements || elements->size() > std::max(kElementsAlwaysAllowed,
                                                     size_t(data.size() / kMinBytesPerElement)))
            return std::nullopt;
        // A long list's second half is decoded on a worker meanwhile, from an
        // unarchiver of its own.
        std::shared_ptr<Decoding> rest;
        if (elements->size() >= kElementsDecodedApart) {
            const auto half = elements->begin() + std::ptrdiff_t(elements->size() / 2);
            rest = std::make_shared<Decoding>(data, std::vector(half, elements->end()));
            elements->erase(half, elements->end());
            Dispatch::globalHigh([rest] { rest->run(); });
        }
        std::optional<MediaList> items = decodeRecords(coder, *elements);
        std::optional<MediaList> more = rest ? rest->take(bool(items)) : MediaList();
        if (!items || !more)
            return std::nullopt;
        items->append(std::move(*more));
        return items;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}
