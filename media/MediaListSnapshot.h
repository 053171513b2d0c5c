#pragma once

// The stored fields of a list of records as they are at one moment, to be
// archived on another thread while the records' owner goes on changing them (a
// title or a duration filled in late).
//
// Taking one copies no text: each present field is an implicitly shared QString /
// QByteArray (one reference count) and an absent one costs a bit, so a list of
// 100,000 records with only their paths takes about 2.5 MB, where copies of the
// records took 24 MB.
//
// Taken on the thread that owns the records (the main thread for the current
// list); not changed from then on (but emptied by archivedData() &&), so any one
// thread at a time may archive it.

#include "media/MediaDesc.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class MediaListSnapshot {
public:
    explicit MediaListSnapshot(const MediaList& items);

    // The archive MediaDesc::archivedDataWithItems() wrote of the records as they
    // were when this was taken.
    QByteArray archivedData() const&;
    // The same, the snapshot emptied once the archiver holds its values: the peak
    // of archiving is lower by the snapshot's size.
    QByteArray archivedData() &&;

private:
    // Encodes the records into coder; the root array's reference.
    KeyedArchiver::Ref encode(KeyedArchiver& coder) const;

    // Per record, bit i set when its field i (kTextFields order, then album art)
    // is present.
    std::vector<uint8_t> m_present;
    std::vector<QString> m_texts;      // the present text fields, record by record
    std::vector<QByteArray> m_artwork; // the present album art, in record order
};
