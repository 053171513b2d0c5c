#pragma once

// The modal list of saved playlists titled "My Playlists", shown when the user adds
// a selection to an existing playlist. Rows read "1. name", "2. name", ... in the
// store's listing order as read when the chooser was made (never refreshed while
// shown), followed by the button "Cancel".
//
// Choosing a row (click, or Return on the current row) appends the selection's
// files that still exist to that playlist, duplicates included, rewrites it
// through the store (which announces "<name> has been updated.") and closes the
// chooser. "Cancel" or Escape closes it and changes nothing. The chooser itself
// reports nothing; the store's alerts are the only feedback.
//
// The chooser deletes itself when it closes. Main thread only.

#include <QDialog>
#include <QStringList>

class QListWidget;

class PlaylistChooser : public QDialog {
    Q_OBJECT
public:
    // Shows a chooser over the active window that appends paths (absolute file
    // paths). Null, and nothing shown, when the store has no playlist folder (it
    // has told the user so); an empty folder gives a chooser without rows.
    static PlaylistChooser *showForItems(const QStringList& paths);

    PlaylistChooser(QStringList names, QStringList paths, QWidget *parent = nullptr);

    QListWidget *table() const { return m_table; }
    // As if the user chose row; a row out of range is ignored.
    void choose(int row);

private:
    const QStringList m_names;      // the playlist names, by row
    const QStringList m_paths;      // the files to append
    QListWidget *m_table = nullptr; // owned (child)
    bool m_chosen = false;
};
