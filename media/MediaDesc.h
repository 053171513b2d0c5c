#pragma once

// One playable file: the element of the current list and of every playlist.
//
// A plain value holder; each field may be absent. Records are shared by pointer
// (MediaDescPtr) and compare by identity: two records with equal fields are two
// items of a list. A record is filled on a worker before it is handed to the main
// thread; from then on only the main thread changes it.

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class MediaDesc;
using MediaDescPtr = std::shared_ptr<MediaDesc>;
using MediaList = QList<MediaDescPtr>;

// Archived form: a keyed archive whose root is an NSMutableArray of objects of
// class "MediaDesc" (classes "MediaDesc", "NSObject"), in list order, each with the
// keys "Title", "Artist", "Duration", "FilePath", "Album", "AlbumArt", "Lyric"; an
// absent field is the nil reference. This is the format of the stored current list
// and of playlist files, and archives written by the original platform read the
// same way.
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

    // The archive of the records, in order. A null pointer in items is written as a
    // record with every field absent. Any thread; reads the records, so they must
    // not be changed meanwhile.
    static QByteArray archivedDataWithItems(const MediaList& items);

    // The records of an archive, in order, each a new record. nullopt when the
    // bytes are not a readable archive of records: damaged, truncated, not a keyed
    // archive, a root that is not an array, or an element that is not a
    // "MediaDesc" object. Within a record, a missing key or a value of the wrong
    // kind leaves that field absent. Never throws. Any thread.
    //
    // An archived record referred to several times gives several records, so each
    // row of a list stays independent (a late duration written into one row never
    // shows in another, and rows compare by identity); their texts and data share
    // decoded copies (a few at most: see KeyedUnarchiver; a long list is decoded
    // in two halves, on the calling thread and a worker). A list that refers to the same records
    // far more often than its size allows (more than max(4096, bytes / 16) elements) is refused,
    // which bounds the memory of decoding to a small multiple of the archive's size.
    static std::optional<MediaList> itemsWithArchivedData(const QByteArray& data);

    // Encodes this record's seven keys as one "MediaDesc" object of coder; returns
    // its reference.
    KeyedArchiver::Ref encodeWithCoder(KeyedArchiver& coder) const;

    // Sets the seven fields from a decoded object. False, and the record left as
    // it was, when the object's class is not "MediaDesc".
    bool initWithCoder(const KeyedUnarchiver::Object& coder);
};
