#pragma once

// The folder browser: one folder at a time as a table of its entries, the
// folder's name in the navigation bar (with ".." on the left, absent at "/", and
// "Close" on the right) and its full path in the table's header.
//
// Browse mode: choosing a folder opens it; the toolbar holds "Edit", "Folder", and
// the bookmarks button (bookmarks the folder shown). Edit mode: choosing a row
// selects or deselects it (a folder too; nothing opens); the toolbar holds "Done",
// "Play" (hands selectedObjects() to the play handler, then empties the
// selection), "Playlist" and "Actions" (BrowserActions). The selection outlives
// folder changes and ends with browse mode.
//
// The search field filters the listing shown by name prefix, ignoring case and
// diacritics (FolderListing). The results fill the table's whole height between
// the search bar and the toolbar (no room is kept for an on-screen keyboard).
// Going up leaves the search results; choosing a result leaves them too but keeps
// the text.
//
// Listings are read on the screen's own serial worker ("Quaver Pro"). While one is
// pending the indicator spins, the table keeps the previous folder's rows, and rows
// cannot be chosen. When openings overlap only the newest is shown: the table
// always ends on currentPath()'s listing. A folder that cannot be read gives the
// "Error !!!" alert and an empty table.
//
// Rows are in FolderListing's order (folders first, then by name, naturally).
// Names starting with "." are hidden until showHiddenFiles(true) (Ctrl+H toggles
// it), in the listing and in the search results alike.
//
// Keyboard: the arrows move the current row; Return chooses it (in browse mode, on
// a file, as a double click does); Backspace or Alt+Up goes up; Ctrl+H shows or
// hides hidden entries; Escape leaves the search field, else closes the screen;
// typing a printable character starts the search with it. A double click on a
// supported file hands that file alone to the play-now handler; on another file it
// says in a notice that the player cannot play it.
//
// Lives inside a NavigationController presented by a ScreenStack. Main thread only.

#include "platform/Dispatch.h"

#include <QStringList>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

class ActivityIndicator;
class BrowserActions;
class FolderListModel;
class FolderListing;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

class SongsController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeaderHeight = 24;

    // Opens setupInitialFolder() at once.
    explicit SongsController(QWidget *parent = nullptr);
    ~SongsController() override;

    // Receives the absolute paths of media files to append to the current list.
    void setPlayHandler(std::function<void(const QStringList&)> handler)
    {
        m_play = std::move(handler);
    }
    // Receives one file to append and play at once.
    void setPlayNowHandler(std::function<void(const QString&)> handler)
    {
        m_playNow = std::move(handler);
    }

    // The active bookmark when "HomeFolder" is on and the index is valid, else
    // FileManager::homeFolder(). The bookmark is not checked for existence.
    static QString setupInitialFolder();
    // "  <path>" up to 34 UTF-16 units, else "..." and the last 35 (never starting
    // inside a surrogate pair, so one character fewer then).
    static QString headerText(const QString& path);

    QString currentPath() const { return m_currentPath; }
    // Makes path current and reads its listing on the worker.
    void openFolder(const QString& path);
    // "..": the parent of currentPath(); leaves the search results.
    void parentFolder();
    void close();
    void setBookmark();
    // "Edit" and "Done".
    void doneMode();
    void editMode();
    bool isEditMode() const { return m_editMode; }
    // As if the user chose the row shown (a click, or Return on it).
    void selectRow(int row);
    void playSelected();
    // The selection's media files: a selected folder gives its supported files (not
    // sub-folders) in listing order, a selected file itself if supported.
    // Duplicates stay.
    QStringList selectedObjects();
    // Full paths in selection order; empty also when there is no selection.
    QStringList selectionList() const { return m_selectedFiles; }
    void filterContentForSearchText(const QString& text);
    bool isSearchMode() const { return m_searchMode; }
    void showHiddenFiles(bool show);
    bool showsHiddenFiles() const { return m_showHidden; }
    // A listing is being read for currentPath().
    bool isLoading() const { return m_pending; }

    FolderListModel *model() const { return m_model; }
    QListView *table() const { return m_table; }
    QLabel *headerLabel() const { return m_header; }
    QLabel *folderNameLabel() const { return m_folderName; }
    ActivityIndicator *activityIndicator() const { return m_indicator; }
    QLineEdit *searchBar() const { return m_searchField; }
    QWidget *toolbar() const { return m_toolbar; }
    // The header and the table below it, from the search bar down to the toolbar.
    QWidget *tablePane() const { return m_tablePane; }

Q_SIGNALS:
    // The listing of path is on screen (also after a failed reading).
    void folderShown(const QString& path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void openFolderAtPath(const QString& path);
    void installListing(std::shared_ptr<const FolderListing> listing);
    // Left to right; a null item is a flexible space.
    void setToolbarItems(const QList<QWidget *>& items);
    void reloadTable();
    // Every row but the hidden ones unless they are shown: the table outside a search.
    void showAllRows();
    void showFolderName(const QString& name);
    void beginSearch();
    void endSearch();
    void cancelSearch();
    void searchTextChanged(const QString& text);
    QRect tableRect() const;
    void playNow(int row);
    bool tableKey(QKeyEvent *key);

    // main thread only
    QString m_currentPath;
    QStringList m_selectedFiles;
    bool m_editMode = false;
    bool m_searchMode = false;
    bool m_searching = false; // the search field is being edited
    bool m_pending = false;
    bool m_showHidden = false;
    // The number of the newest opening; atomic, written on the main thread only.
    std::shared_ptr<std::atomic<quint64>> m_newestOpening;
    std::function<void(const QStringList&)> m_play;
    std::function<void(const QString&)> m_playNow;

    FolderListModel *m_model = nullptr;       // owned (child)
    QWidget *m_tablePane = nullptr;           // owned (child): the header over the table
    QListView *m_table = nullptr;             // owned (child of the pane)
    QLabel *m_header = nullptr;               // owned (child of the pane)
    QWidget *m_searchBar = nullptr;           // owned (child)
    QLineEdit *m_searchField = nullptr;       // owned (child of the search bar)
    QPushButton *m_cancelButton = nullptr;    // owned (child of the search bar)
    QWidget *m_toolbar = nullptr;             // owned (child)
    QWidget *m_titleView = nullptr;           // owned by the navigation item
    QLabel *m_folderName = nullptr;           // child of the title view
    ActivityIndicator *m_indicator = nullptr; // child of the title view
    BrowserActions *m_actions = nullptr;      // owned (child)
    // Left running when the screen goes: a folder on a hung disk must not hold up
    // the window.
    Dispatch::SerialQueue m_queue{QStringLiteral("Quaver Pro"),
                                  Dispatch::SerialQueue::OnDestroy::Abandon};
};
