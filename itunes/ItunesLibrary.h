#pragma once

// The library screen: the songs of the music library under a media root, or its
// playlists or artists with their song counts ("%1 songs", also for one), chosen
// with the three-way switch over the list. Titled "iTunes", with "Edit" on the left
// and "Close" on the right of the bar; it lives inside a navigation controller
// presented by a ScreenStack.
//
// The library is read on a high-priority worker each time the screen is made
// (ItunesHelper); the screen shows at once with a turning indicator in the bar,
// and the worker's songs and counts are installed on the main thread in one step.
// Songs without an artist (or playlist name) are left out of the artist (playlist)
// rows. Rows are sorted by name. When the media root holds no library, the screen
// says where it looked and how to point the program elsewhere.
//
// Selection: in selection mode ("Edit" becomes "Done") a tapped row is appended to
// the selection, once per tap, and marked; nothing ever leaves the selection but a
// successful "Play" or new playlist, which empty it. The selection survives leaving
// selection mode and switching views; a name (playlist or artist) is marked
// wherever it appears. Out of selection mode a tap does nothing.
//
// The selection as files: a song gives its path, a name gives the paths of the
// songs whose playlist or artist it is (each song once), in selection order,
// duplicates kept. "Play" hands them to the play handler (nothing at all with an
// empty selection); "Playlist" opens the sheet "Select an option": "Add to existing
// playlist" (the playlist chooser) or "Create new playlist" (the prompt "New
// Playlist"; with an empty selection a confirmed name is answered with "You have to
// select a file in order to play it"). A new playlist's tags are read on a worker
// and the store writes and announces it on the main thread.
//
// Keyboard: the arrows move in the list; Return or Space taps the current row;
// Ctrl+1/2/3 switch the view; Ctrl+E presses "Edit"/"Done"; Escape closes.
//
// Main thread only.

#include "itunes/ItunesDesc.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <variant>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QListView;
class QPushButton;

class ItunesLibrary : public QWidget {
    Q_OBJECT
public:
    // Receives absolute file paths to append to the current list.
    using PlayHandler = std::function<void(const QStringList& paths)>;
    enum Category { Songs = 0, Playlists = 1, Artists = 2 };
    // A song, or the name of a playlist or artist.
    using Selected = std::variant<ItunesDescPtr, QString>;

    // Starts reading the library under mediaRoot.
    explicit ItunesLibrary(const QString& mediaRoot, QWidget *parent = nullptr);
    ~ItunesLibrary() override;

    void setPlayHandler(PlayHandler handler) { m_play = std::move(handler); }

    bool isLoaded() const { return m_loaded; }
    const ItunesList& tableContents() const { return m_songs; }
    const QList<Selected>& selectedFiles() const { return m_selected; }
    Category category() const { return m_category; }
    bool isEditing() const { return m_editing; }

    QListView *table() const { return m_table; }
    QPushButton *editButton() const { return m_editButton; }
    // The explanation shown when there is no library (hidden otherwise).
    QLabel *messageLabel() const { return m_message; }
    // Null once the library is installed.
    QWidget *activityIndicator() const { return m_indicator; }

    void close();
    void editTable();
    void setCategory(Category category);
    // As if the user tapped row of the view shown.
    void selectRow(int row);
    void play();
    void playlist();

    QStringList convertSelectedFiles() const;
    QStringList collectionForName(const QString& name) const;

Q_SIGNALS:
    // The library read is installed.
    void loaded();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Library;
    struct Names {
        QStringList keys; // row order
        QHash<QString, int> counts;
    };
    class Rows;

    void setupCategories();
    void install(Library library);
    void createPlaylist(const QString& name);
    void reloadTable(bool reset);
    int rowCount() const;
    QVariant rowData(int row, int role) const;
    const Names& names() const { return m_category == Playlists ? m_playlists : m_artists; }

    const QString m_mediaRoot;
    ItunesList m_songs;                       // main thread only
    Names m_playlists;                        // main thread only
    Names m_artists;                          // main thread only
    QList<Selected> m_selected;               // main thread only
    QSet<const ItunesDesc *> m_selectedSongs; // main thread only; the songs of m_selected
    QSet<QString> m_selectedNames;            // main thread only; the names of m_selected
    Category m_category = Songs;
    bool m_editing = false;
    bool m_loaded = false;
    PlayHandler m_play;
    Rows *m_rows = nullptr;                  // child
    QListView *m_table = nullptr;            // child
    QButtonGroup *m_segment = nullptr;       // child
    QLabel *m_message = nullptr;             // child
    QPushButton *m_editButton = nullptr;     // owned by the navigation item
    QPointer<QWidget> m_indicator;           // in the navigation bar once shown
    std::shared_ptr<ItunesLibrary *> m_self; // lets the worker's result find the screen
};
