#pragma once

// The folder browser's file operations: the "Actions" sheet (cut, copy, paste,
// delete), the "Playlist" sheet (add the selection to an existing or a new
// playlist) and the "Create Folder" prompt. The browser screen owns one instance
// for its lifetime; the clipboard lives and dies with it.
//
// The browser is reached only through the Host callbacks, so this class knows
// nothing of its widgets. Paste copies and moves on a worker, with a progress
// dialog (bytes done of bytes to do) and Cancel; every other step runs on the main
// thread. Main thread only.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

class BrowserActions : public QObject {
    Q_OBJECT
public:
    struct Host {
        // The folder shown.
        std::function<QString()> currentPath;
        // The selection list: full paths in selection order (empty when absent).
        std::function<QStringList()> selectionList;
        // The media files the selection stands for (folders expanded one level).
        std::function<QStringList()> selectedObjects;
        // Empties the selection list (after a playlist is made, or a deletion).
        std::function<void()> clearSelection;
        // Makes path the current folder and lists it again off the main thread.
        std::function<void(const QString& path)> openFolder;
    };

    // window: parent of the sheets, prompts and progress dialog (not owned).
    BrowserActions(Host host, QWidget *window, QObject *parent = nullptr);
    ~BrowserActions() override;

    // "Actions": the "Select an option" sheet; "Paste selected" only when the
    // clipboard holds an entry.
    void showOptions();
    // "Playlist": the sheet with "Add to existing playlist" and "Create new playlist".
    void addToPlaylist();
    // "Folder": the "Create Folder" name prompt.
    void newFolder();

    // True once a cut or copy has been made (even of an empty selection).
    bool hasClipboardEntry() const;
    // True while a paste runs on the worker; a further paste is refused meanwhile.
    bool isPasting() const;

Q_SIGNALS:
    // A paste has ended (finished, cancelled or failed) and the listing was refreshed.
    void pasteFinished();

private:
    void paste();
    void updateProgress();
    void endPaste();
    void confirmDelete();
    // The "Create Folder" or "New Playlist" name prompt.
    void promptForName(const QString& title);

    struct Private;
    Private *d; // owned
};
