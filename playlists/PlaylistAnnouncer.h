#pragma once

// Writes a playlist through the store for a screen and tells the user the outcome:
// the store's announcement ("Mix has been updated.") as a notice over the main
// window (Notice), or its failure (StoreAlerts). Main thread, as every write of the store.

#include "media/MediaDesc.h"
#include "playlists/PlaylistHelper.h"

#include <QString>
#include <optional>

class PlaylistAnnouncer {
public:
    PlaylistAnnouncer() = delete;

    // PlaylistHelper::createPlaylistWithName(), announced; the name written, or
    // nothing.
    static std::optional<QString> createPlaylistWithName(const QString& name,
                                                         const MediaList& items, bool crateFlag);
    // Shows a save's announcement or its failure; the name written, or nothing.
    static std::optional<QString> announce(const Result<PlaylistHelper::Saved>& saved);
};
