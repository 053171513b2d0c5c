#pragma once

// One song of the music library on the media partition: what the library screen
// lists and selects. A plain value holder; each field may be absent (the library
// held NULL, or no row for it). Records are shared by pointer (ItunesDescPtr) and
// compare by identity: the selection holds records, and two songs with equal fields
// are two rows. A record is filled on a worker before it is handed to the main
// thread; from then on it is only read.

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>

class ItunesDesc;
using ItunesDescPtr = std::shared_ptr<ItunesDesc>;
using ItunesList = QList<ItunesDescPtr>;

// Archived form: an object of class "ItunesDesc" (classes "ItunesDesc", "NSObject")
// with the keys "Title", "Artist", "Duration", "FilePath", "Pid", "Location",
// "Album", "Playlist"; an absent field is the nil reference.
class ItunesDesc {
public:
    std::optional<QString> title;
    std::optional<QString> artist;
    // Display text of the length; the library reader never fills it.
    std::optional<QString> duration;
    // Absolute path of the song's file.
    std::optional<QString> filePath;
    // The library item's persistent id, as text.
    std::optional<QString> pid;
    // The id of the item's base location, as text.
    std::optional<QString> locationId;
    std::optional<QString> album;
    // The name of one library playlist that holds the song.
    std::optional<QString> playlist;

    // Encodes the eight keys as one "ItunesDesc" object of coder; returns its reference.
    KeyedArchiver::Ref encodeWithCoder(KeyedArchiver& coder) const;

    // Sets the eight fields from a decoded object; a missing key or a value of the
    // wrong kind leaves that field absent. False, and the record left as it was,
    // when the object's class is not "ItunesDesc".
    bool initWithCoder(const KeyedUnarchiver::Object& coder);
};
