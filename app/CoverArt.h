#pragma once

// The picture of an item for the player screen, read and scaled off the main
// thread. An item's picture is its file's embedded front cover, else an image
// named cover.*, folder.* or front.* (in that order, any case) beside it, else none.
//
// Pictures are decoded once per source (an album's tracks share their folder's
// image) into a cache of at most kCacheBytes, held at most kMaxSide pixels a side;
// each request is answered with the picture scaled to fit the side asked for.
// Requests run on a private serial queue; one that a newer request replaced is
// skipped, and only the newest is answered.
//
// Main thread only. The queue's tasks touch only the cache (theirs alone) and
// their own values.

#include "platform/Dispatch.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class CoverArt : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSide = 1024;                  // px, decoded pictures
    static constexpr qsizetype kCacheBytes = 48 << 20;     // of decoded pictures
    static constexpr qint64 kMaxImageFileBytes = 32 << 20; // a larger cover.* is skipped

    explicit CoverArt(QObject *parent = nullptr);
    ~CoverArt() override;

    // Asks for filePath's picture fitted into a square of side px (device pixels).
    // An empty path asks for none. The answer comes as pictureReady.
    void request(const QString& filePath, int side);

    // The image file beside filePath that stands for its folder: the first, in
    // name order, named cover, folder or front (any case, any image format Qt
    // reads, told by the bytes); empty when there is none. Blocking: lists the folder.
    static QString folderImageOf(const QString& filePath);

Q_SIGNALS:
    // The newest request's answer: a null image when the item has no picture.
    void pictureReady(const QString& filePath, const QImage& picture);

private:
    struct Cache;

    quint64 m_request = 0; // main thread only: the number of the newest request
    // The newest request's number, read by the queue's tasks to skip stale ones.
    std::shared_ptr<std::atomic<quint64>> m_newest = std::make_shared<std::atomic<quint64>>(0);
    std::shared_ptr<Cache> m_cache; // the queue's tasks only
    Dispatch::SerialQueue m_queue{QStringLiteral("player picture"),
                                  Dispatch::SerialQueue::OnDestroy::Abandon}; // last
};
