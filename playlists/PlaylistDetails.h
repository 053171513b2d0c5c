#pragma once

// The songs of one playlist, numbered, with title, artist and length, for
// removing and reordering them. Made for one playlist name and pushed onto a
// NavigationController, whose bar shows the two-line orange title
// "<name> \n<count> Songs" (the name alone while the records are read) and the
// "Edit"/"Done" button. An untagged record shows its file name as its title, which
// is never written into the record.
//
// The records are read on the screen's own serial worker, so the screen shows at
// once; the list appears when the read is done. A playlist that cannot be read
// shows the store's message and an empty list. Every removal and every move
// rewrites the playlist's file at once through PlaylistHelper (atomic replace,
// "<name> has been updated."). An edit that cannot be saved shows the store's
// failure, and the list is read again from the file (isLoaded() is false
// meanwhile): the screen shows what is stored, never an unsaved list. Lengths are
// measured only for rows that are painted, off the main thread (PlaylistModel), and
// a measured length is stored with the next change.
//
// Keyboard: the arrows move the current row; Escape goes back
// (NavigationController). In editing mode (switched by the bar button only) Delete
// removes the current row at once, without a question, Alt+Up and Alt+Down move it
// one place, the current row carries a "Delete" button, and a row dragged with the
// mouse is moved to the row it is dropped on; out of it nothing changes the list.
// Activating a row does nothing.
//
// Main thread only.

#include "media/MediaDesc.h"
#include "platform/Dispatch.h"

#include <QWidget>
#include <memory>

class PlaylistModel;
class QLabel;
class QListView;
class QPushButton;

class PlaylistDetails : public QWidget {
    Q_OBJECT
public:
    explicit PlaylistDetails(const QString& playlistName, QWidget *parent = nullptr);
    ~PlaylistDetails() override;

    QString playlistName() const { return m_playlistName; }
    // The list shown (empty until loaded).
    const MediaList& tableContents() const;
    bool isLoaded() const { return m_loaded; }

    PlaylistModel *model() const { return m_model; }
    QListView *table() const { return m_table; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QPushButton *editButton() const { return m_editButton; }
    // The current row's "Delete" button; visible in editing mode only.
    QPushButton *deleteButton() const { return m_deleteButton; }
    bool isEditing() const { return m_editing; }

    // "Edit" becomes "Done" (done style) with editing on, and back.
    void editTable();
    // Remove or move a record and write the playlist. Out-of-range rows are ignored;
    // to is clamped to the list.
    void removeRow(int row);
    void moveRow(int from, int to);

Q_SIGNALS:
    // The records are on screen.
    void loaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadTableContents();
    void contentsArrived(MediaList items);
    void displayTitle();
    void replaceContents(MediaList items, int currentRow);
    void placeDeleteButton();

    const QString m_playlistName;
    PlaylistModel *m_model = nullptr;          // child
    QListView *m_table = nullptr;              // child
    QLabel *m_titleLabel = nullptr;            // owned by the navigation item
    QPushButton *m_editButton = nullptr;       // owned by the navigation item
    QPushButton *m_deleteButton = nullptr;     // child of the table's viewport
    bool m_loaded = false;                     // main thread only
    bool m_editing = false;                    // main thread only
    int m_dragRow = -1;                        // main thread only; row pressed in editing mode
    std::shared_ptr<PlaylistDetails *> m_self; // lets the loader's result find the screen
    // Left running when the screen goes: a playlist on a hung disk must not hold
    // up the window.
    Dispatch::SerialQueue m_loader{QStringLiteral("QuaverPro"),
                                   Dispatch::SerialQueue::OnDestroy::Abandon};
};
