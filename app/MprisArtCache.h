#pragma once

// The current track's embedded picture as a file that desktop shells can show
// (MPRIS "mpris:artUrl"). The picture is never kept in the records, so stored lists
// stay small; it lives in one file of a cache folder, "cover-<digest>.<ext>", named
// after its bytes: shells cache images by URL, so a new picture needs a new name,
// while the tracks of one album share one file that is written once.
//
// The folder holds at most one cover: the old file is removed once the new one is
// in place (written whole, then renamed), when the track has no picture, and when
// the cache is destroyed. A cover left behind by an earlier run goes with the first
// track followed.
//
// Reading a picture (a whole tag, maybe on a slow disk) and writing it run on a
// private serial queue; the result is installed on the main thread. A request that
// a newer one replaced is skipped.
//
// Main thread only. The queue's tasks touch only the folder and their own values.

#include "platform/Dispatch.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class MprisArtCache : public QObject {
    Q_OBJECT
public:
    // folder: where the cover goes; made when first needed.
    explicit MprisArtCache(QString folder, QObject *parent = nullptr);
    // Waits for the task running now, then removes the cover.
    ~MprisArtCache() override;

    // The program's folder for it: the XDG cache location.
    static QString defaultFolder();

    // Follows the current track's file (absolute path; empty for no track). A new
    // path drops the art at once; artChanged tells when its own is in place.
    void follow(const QString& filePath);
    // file:// URL of the followed file's picture; empty while it is being read, and
    // when the file has none.
    QString artUrl() const;

Q_SIGNALS:
    // artUrl() now names the followed file's picture.
    void artChanged();

private:
    void install(quint64 request, const QString& coverPath);

    const QString m_folder; // immutable
    QString m_followed;     // main thread only
    QString m_coverPath;    // main thread only; empty: no picture to show
    quint64 m_request = 0;  // main thread only: the number of the newest request
    // The newest request's number, read by the queue's tasks to skip stale ones.
    std::shared_ptr<std::atomic<quint64>> m_newest = std::make_shared<std::atomic<quint64>>(0);
    Dispatch::SerialQueue m_queue{QStringLiteral("cover art")}; // last: destroyed first
};
