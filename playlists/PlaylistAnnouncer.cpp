#include "playlists/PlaylistAnnouncer.h"

#include "platform/Alert.h"
#include "ui/AlertViewHelper.h"
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
    AlertViewHelper::alertMessage(saved->message)->show();
    return saved->name;
}
