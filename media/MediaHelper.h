#pragma once

// Records (MediaDesc) made from file paths, with their tags filled in.
//
// Class operations only, no state. Any thread; reading tags opens each file, so
// long lists belong on a worker.

#include "media/MediaDesc.h"

#include <QStringList>

class MediaHelper {
public:
    MediaHelper() = delete;

    // One record per path at which a file (or folder) exists, in the order of the
    // paths: filePath is the path; title, artist and album are the file's "title",
    // "artist" and "album" tags (absent when it has none, or its tags cannot be
    // read). Duration, album art and lyric stay absent (a picture would make stored
    // lists large). Paths without a file are skipped silently.
    static MediaList collectionWithMedia(const QStringList& paths);
};
