#pragma once

// The current list's storage and filling: restores it from "Last Playlist" at
// start, stores it after every addition, and adds collections to it (files and
// folders, or a saved playlist). A start writes nothing unless the stored list was
// damaged: a list of 100,000 items is some 15 MB to rewrite.
//
// Stores run one at a time on a private serial queue, in the order they were
// asked for, so that an older list never replaces a newer one. Each store
// archives a MediaListSnapshot of the records taken on the main thread when it was
// asked for (the screen goes on filling in titles and durations of the records).
//
// Adding: the slow part (reading tags, reading a playlist file) runs on a
// private serial queue; its result is installed into the model on the main
// thread, in the order the additions were asked for, so that a long playlist
// chosen just before a short one never replaces it. Paths are
// made absolute, against the current folder at the time of the call, before they
// become records, so that a list stays valid after a start from another folder.
//
// Main thread only. The model outlives this object.

#include "media/MediaDesc.h"
#include "platform/Dispatch.h"
#include "services/Failure.h"

#include <QObject>
#include <QStringList>
#include <functional>

class PlaylistModel;

class CurrentList : public QObject {
    Q_OBJECT
public:
    explicit CurrentList(PlaylistModel *model, QObject *parent = nullptr);
    // Waits (a bounded time) for the stores asked for so far.
    ~CurrentList() override;

    // Shows the stored list (empty when there is none or it cannot be decoded).
    // Stores the empty list in place of one that cannot be decoded once the
    // damaged value is copied aside; writes nothing otherwise.
    void restore();
    // Stores (a copy of) the list shown now, after every store asked for before.
    void store();
    // Blocks until every store asked for so far is written.
    void waitForStores();

    // Appends records for the paths that exist (files as given, no expansion);
    // with report, then emits countReady for paths.size(). then (if any) runs
    // after the list changed.
    void append(const QStringList& paths, bool report, std::function<void()> then);
    // Replaces the list with the saved playlist name and emits countReady for its
    // length. A playlist that is missing or cannot be read replaces nothing: the
    // list stays as it is and readFailed says why.
    void replaceWithPlaylist(const QString& name);

    // "one item have been added to your current playlist", "%d items have been
    // added ..." (count >= 2), or "There are no items in selected folder." (0).
    static QString countMessage(int count);

Q_SIGNALS:
    // The model holds a new list; emitted before countReady and then().
    void installed();
    // An addition to report to the user, with the count to report; emitted
    // before the list is stored.
    void countReady(int count);
    // A playlist to play could not be read; the list is unchanged.
    void readFailed(const Failure& failure);

private:
    void install(MediaList items, int count, bool report, const std::function<void()>& then);

    PlaylistModel *const m_model; // not owned; main thread only
    // Its tasks touch only their own snapshot and the (thread-safe) defaults store.
    // Destroying it waits long enough for a large list's store on a slow disk,
    // short of the two seconds a stop request may take.
    Dispatch::SerialQueue m_stores{QStringLiteral("current list store"),
                                   Dispatch::SerialQueue::OnDestroy::Drain,
                                   std::chrono::milliseconds(1500)};
    // An addition still being read when the list goes is dropped.
    Dispatch::SerialQueue m_fills{QStringLiteral("current list fill"),
                                  Dispatch::SerialQueue::OnDestroy::Abandon};
};
