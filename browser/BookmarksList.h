#pragma once

// The bookmarks screen, titled "Bookmarks": the bookmarked folders as rows
// "1. name", "2. name", ... (the folder's last path component; "/" for the root),
// in stored order, with a check mark on the active bookmark (the folder the
// browser starts in when the home-folder setting is on).
//
// Choosing a row (click, or Return on the current row) makes it the active
// bookmark and stores its index at once. "Edit" on the right of the bar switches
// editing mode and reads "Done" while editing (Ctrl+E presses it); editing shows a
// "Delete" button on each row, and Delete (or Backspace) removes the current row
// (out of editing mode the keys delete nothing). Each deletion goes through the settings store, and
// the screen then shows the list and the active index as stored. The bar button is there only while
// there are bookmarks. Escape and the back button leave the screen (its navigation controller
// handles them).
//
// The list and the active index are read from the store when the screen is made.
// Main thread only.

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QListWidget;

class BookmarksList : public QWidget {
    Q_OBJECT
public:
    explicit BookmarksList(QWidget *parent = nullptr);

    QListWidget *table() const { return m_table; }
    QStringList tableContents() const { return m_tableContents; }
    // -1 when none; may point past the list when the store says so.
    int activeBookmark() const { return m_activeBookmark; }
    bool isEditing() const { return m_editing; }
    // The bar's "Edit"/"Done" button; null when there are no bookmarks.
    QAbstractButton *editButton() const;

    // As if the user chose row / deleted row / pressed the bar button. Rows out of
    // range are ignored.
    void chooseRow(int row);
    void deleteRow(int row);
    void toggleEditing();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void readStore();
    void reload();
    void setupEditButton();

    QListWidget *m_table = nullptr; // owned (child)
    QStringList m_tableContents;    // the bookmarked paths, stored order
    int m_activeBookmark = -1;
    bool m_editing = false;
};
