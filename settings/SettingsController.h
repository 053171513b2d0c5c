#pragma once

// The settings screen: the rows of CASettings::settingsList() under their section
// headers, titled "Settings" with "Close" on the right of the bar. It lives inside
// a navigation controller presented by a ScreenStack and pushes its editors there.
//
// Switch rows store their state at once under the title without blanks; the
// first "Home Folder" switch also stores "ActiveBookmark" -1, and "Keep Pitch"
// is heard at once through EffectsControl. The other rows show
// the current value and open an editor: "EQ" (EQList), "Volume Limit" and
// "Playback Rate" (SliderView), "Bookmarks" (the screen the bookmarks factory
// makes, over the "background.png" pattern). "ReplayGain" opens no editor: each
// choice steps it Off -> Track -> Album -> Off, heard at once and stored at once. Values read again
// each time the screen appears, so an editor's change shows on the way back.
//
// Option texts, from the engine that plays now (no engine: the stored values):
//   "EQ"            the current preset's name
//   "Playback Rate" "x %.1f"                      (x 1.5)
//   "Volume Limit"  "Off" at 1.0 or more, else the percentage rounded (75 %)
//   "ReplayGain"    "Off", "Track" or "Album"
//   "Bookmarks"     the last component of the active bookmark, or nothing
//
// Keys: Up/Down move between rows, Return opens a row's editor or flips its
// switch, Escape closes. Main thread only.

#include "services/CASettings.h"

#include <QWidget>
#include <functional>

class EffectsControl;
class QListWidget;
class QListWidgetItem;

class SettingsController : public QWidget {
    Q_OBJECT
public:
    // Makes the bookmarks screen (ownership passed to the caller).
    using BookmarksFactory = std::function<QWidget *()>;

    // effects: not owned, may be null; it outlives the screen and its editors.
    explicit SettingsController(EffectsControl *effects, QWidget *parent = nullptr);

    // Without a factory (or when it gives null) the "Bookmarks" row opens nothing.
    void setBookmarksFactory(BookmarksFactory factory) { m_bookmarks = std::move(factory); }

    QListWidget *table() const { return m_table; }
    // The row widget (SwitchCell or SettingsLabelCell) of section s, row n; null
    // outside the table.
    QWidget *cell(int section, int row) const;
    // The option text of a picker row, from the current engine and store.
    QString optionText(const QString& title) const;

    // Dismisses the screen through its navigation controller.
    void close();
    // As if the user chose row n of section s.
    void didSelectRow(int section, int row);
    // Stores a switch's state; tag = section * 10 + row.
    void switchSelected(int tag, bool on);
    // Reads every switch state and option text again.
    void reload();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void activated(QListWidgetItem *item, bool fromKeyboard);
    void nextReplayGain();

    EffectsControl *const m_effects; // not owned
    BookmarksFactory m_bookmarks;
    const QList<CASettings::Section> m_interfaceDict; // immutable
    QListWidget *m_table = nullptr;                   // owned (child)
};
