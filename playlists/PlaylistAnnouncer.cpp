#include "playlists/PlaylistAnnouncer.h"

#include "ui/Notice.h"
#include "ui/StoreAlerts.h"

std::optional<QString> PlaylistAnnouncer::createPlaylistWithName(const QString& name,
                                                                 const MediaList& items,
                                                                 bool crateFlag)
{
    return announce(PlaylistHelper::createPlaylistWithName(name, items, crateFlag));
}

std::optional<QString> PlaylistAnnouncer::announce(const Result<PlaylistHelper::Saved>& saved)
{
    if (!saved) {
        StoreAlerts::show(saved.failure());
        return std::nullopt;
    }
    Notice::showInMainWindow(saved->message);
    return saved->name;
}
