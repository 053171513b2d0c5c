#pragma once

// One playable file: the element of the current list and of every playlist.
//
// A plain value holder; each field may be absent. Records are shared by pointer
// (MediaDescPtr) and compare by identity: two records with equal fields are two
// items of a list. A record is filled on a worker before it is handed to the main
// thread; from then on only the main thread changes it.

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class MediaDesc {
public:
    std::optional<QString> artist;
    std::optional<QString> title;
    // Play length as display text, "m:ss"; absent until first computed.
    std::optional<QString> duration;
    // Absolute path of the file; set on every record the program makes.
    std::optional<QString> filePath;
    std::optional<QString> album;
    std::optional<QByteArray> albumArt;
    std::optional<QString> lyric;
};

using MediaDescPtr = std::shared_ptr<MediaDesc>;
using MediaList = QList<MediaDescPtr>;
