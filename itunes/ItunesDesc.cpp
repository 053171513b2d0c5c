#include "itunes/ItunesDesc.h"

namespace {

// Archives depend on these names, letter case included.
constexpr const char *kTitle = "Title";
constexpr const char *kArtist = "Artist";
constexpr const char *kDuration = "Duration";
constexpr const char *kFilePath = "FilePath";
constexpr const char *kPid = "Pid";
constexpr const char *kLocation = "Location";
constexpr const char *kAlbum = "Album";
constexpr const char *kPlaylist = "Playlist";

const QString& className()
{
    static const QString name = QStringLiteral("ItunesDesc");
    return name;
}

} // namespace

KeyedArchiver::Ref ItunesDesc::encodeWithCoder(KeyedArchiver& coder) const
{
    // The record takes its index before its values, as the platform archiver lays
    // out objects.
    const KeyedArchiver::Ref slot = coder.reserve();
    const KeyedArchiver::Ref titleRef = coder.encodeString(title);
    const KeyedArchiver::Ref artistRef = coder.encodeString(artist);
    const KeyedArchiver::Ref durationRef = coder.encodeString(duration);
    const KeyedArchiver::Ref filePathRef = coder.encodeString(filePath);
    const KeyedArchiver::Ref pidRef = coder.encodeString(pid);
    const KeyedArchiver::Ref locationRef = coder.encodeString(locationId);
    const KeyedArchiver::Ref albumRef = coder.encodeString(album);
    const KeyedArchiver::Ref playlistRef = coder.encodeString(playlist);
    static const QStringList classes{className(), QStringLiteral("NSObject")};
    return coder.encodeObject(classes,
                              {{kTitle, titleRef},
                               {kArtist, artistRef},
                               {kDuration, durationRef},
                               {kFilePath, filePathRef},
                               {kPid, pidRef},
                               {kLocation, locationRef},
                               {kAlbum, albumRef},
                               {kPlaylist, playlistRef}},
                              slot);
}

bool ItunesDesc::initWithCoder(const KeyedUnarchiver::Object& coder)
{
    if (coder.className() != className())
        return false;
    title = coder.decodeStringForKey(kTitle);
    artist = coder.decodeStringForKey(kArtist);
    duration = coder.decodeStringForKey(kDuration);
    filePath = coder.decodeStringForKey(kFilePath);
    pid = coder.decodeStringForKey(kPid);
    locationId = coder.decodeStringForKey(kLocation);
    album = coder.decodeStringForKey(kAlbum);
    playlist = coder.decodeStringForKey(kPlaylist);
    return true;
}
