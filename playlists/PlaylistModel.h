#pragma once

// The current list as a Qt model, one row per record, for the player's table.
//
// Reading a row fills in what the row shows: a record with neither title nor
// artist gets its file name (without extension) as its title (unless
// setStoresFileTitles(false): then the name is only shown), and a record
// without a duration has it computed once on a low-priority worker. The worker
// writes nothing; the result is written on the main thread into the record it was
// computed for, and only that record's current row (if it is still listed) is
// refreshed, so a late duration never lands on another row.
//
// Main thread only.

#include "media/MediaDesc.h"

#include <QAbstractListModel>
#include <QSet>
#include <memory>

class PlaylistModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IndexTextRole = Qt::UserRole + 1, // "%d" with row + 1
        TitleRole,
        ArtistRole,
        DurationRole,  // empty until known
        HighlightRole, // true for the current item's row
        FailedRole,    // true for an item that could not be played since the program started
        // true where the artist line names the row and the title line counts it (the
        // library's playlists and artists); never set by this model
        NameRowRole,
    };

    explicit PlaylistModel(QObject *parent = nullptr);
    ~PlaylistModel() override;

    const MediaList& items() const { return m_items; }
    // Replaces the whole list (the view is reset).
    void setItems(MediaList items);
    void appendItems(const MediaList& items);
    void clear();

    // The row shown highlighted (-1: none).
    void setCurrentRow(int row);
    int currentRow() const { return m_currentRow; }

    // Marks the record of row as one that failed to play (or clears the mark). The
    // mark belongs to the record for this run of the program: it is never stored,
    // follows the record rather than its row, and goes with it when it leaves the list.
    void setFailed(int row, bool failed);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The duration reader used by workers (default: MediaInfo); tests replace it.
    using DurationReader = std::function<std::optional<QString>(const QString& path)>;
    void setDurationReader(DurationReader reader) { m_durationReader = std::move(reader); }

    // Whether showing an untagged record writes its file title into it (default true).
    void setStoresFileTitles(bool on) { m_storesFileTitles = on; }

    // The last component of path without its extension: the title of an untagged file.
    static QString fileTitle(const QString& path);

    // Durations being computed now (for tests and the benchmark).
    int pendingDurations() const { return int(m_pending.size()); }

private:
    void requestDuration(const MediaDescPtr& item) const;
    void durationArrived(const MediaDescPtr& item, const std::optional<QString>& duration);

    MediaList m_items;                   // main thread only
    int m_currentRow = -1;               // main thread only
    QSet<const MediaDesc *> m_failed;    // main thread only; always records of m_items
    mutable QSet<MediaDesc *> m_pending; // records whose duration is being computed
    DurationReader m_durationReader;     // copied to workers; must be thread-safe
    bool m_storesFileTitles = true;
    // Lets a worker's result find out whether the model still exists.
    std::shared_ptr<PlaylistModel *> m_self;
};
