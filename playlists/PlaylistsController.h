#pragma once

// The playlists screen: the saved playlists as rows "1. name", "2. name", ... in
// the store's listing order, read again each time the screen appears and after a
// rename or deletion (never edited in place). Titled "Playlists", with "Edit" on
// the left and "Close" on the right of the bar; it lives inside a navigation
// controller presented by a ScreenStack.
//
// A row chosen (click, or Return on the current row) opens the sheet "Select an
// option" with "Play" (the play handler gets the name, then the screen is
// dismissed, whatever the handler found), "Rename" (the prompt "New Name"; the
// store refuses taken or bad names with its own message), "Export" (the playlist
// written as an extended M3U file the user names) and "Cancel". "Import…" under the
// list (Ctrl+I) makes a new playlist of an M3U, M3U8 or PLS file the user picks.
//
// Editing mode shows a "Delete" button on each row (Delete key: the current row);
// a deletion asks first and Return keeps the playlist. "Edit" switches the mode and
// becomes "Done" (Ctrl+E presses it); a horizontal drag across a row switches the
// mode without changing the bar button. The disclosure button on each row (Right arrow:
// the current row) pushes the screen made by the details factory.
//
// Every message comes from the store. Main thread only.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAbstractButton;
class QListWidget;

class PlaylistsController : public QWidget {
    Q_OBJECT
public:
    // Receives the name of the playlist to play; loading it is the receiver's job.
    using PlayHandler = std::function<void(const QString& name)>;
    // Makes the details screen of a playlist (ownership passed to the caller).
    using DetailsFactory = std::function<QWidget *(const QString& name)>;
    // Asks the user for a file: for export, where to write (suggested: a path);
    // for import, which file to read. An empty answer cancels.
    using FilePicker = std::function<QString(const QString& suggested)>;

    explicit PlaylistsController(QWidget *parent = nullptr);

    void setPlayHandler(PlayHandler handler) { m_play = std::move(handler); }
    // Without a factory the disclosure buttons do nothing.
    void setDetailsFactory(DetailsFactory factory) { m_details = std::move(factory); }
    // Default: the toolkit's file dialogs.
    void setFilePickers(FilePicker exportPicker, FilePicker importPicker)
    {
        m_exportPicker = std::move(exportPicker);
        m_importPicker = std::move(importPicker);
    }

    QListWidget *table() const { return m_table; }
    QStringList tableContents() const { return m_tableContents; }
    bool isEditing() const { return m_editing; }

    // Dismisses the screen through its navigation controller.
    void close();
    // The bar button: "Edit" enters editing mode and becomes "Done", else back.
    void editTable();
    // Switches editing mode only.
    void editMode();
    // As if the user chose row / pressed its disclosure / its delete button.
    void selectRow(int row);
    void openDetails(int row);
    void confirmDelete(int row);
    // Writes the playlist name as M3U to the place the user picks; reports the result.
    void exportPlaylist(const QString& name);
    // Makes a new playlist of the file the user picks, reading it on a worker (a
    // read that takes long shows a busy dialog; its Cancel saves nothing); the
    // store reports the result and imported() follows, with the list read again.
    void importPlaylist();

Q_SIGNALS:
    void imported();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reload();
    void rename();
    void updateRowButtons();

    QListWidget *m_table = nullptr;          // owned (child)
    QAbstractButton *m_editButton = nullptr; // owned by the navigation item
    QStringList m_tableContents;
    QString m_playlistName; // the row last chosen, subject of "Play" and "Rename"
    bool m_editing = false;
    QPoint m_pressPos;
    bool m_pressed = false;
    PlayHandler m_play;
    DetailsFactory m_details;
    FilePicker m_exportPicker;
    FilePicker m_importPicker;
};
