#pragma once

// The keys and the time slider's clicks of the player screen.
//
// A click on the time slider's track moves the knob there and seeks (the press
// goes on as a drag of the knob). Return or Enter presses the focused button;
// Space plays and pauses (a text field keeps it; over the movie it pauses and
// resumes the sound only); Escape closes an open menu and gives the focus back
// to where it was. Left/Right seek by kSeekStep seconds, Page Up/Page Down by
// kSeekPage, Up/Down move the volume by kVolumeStep, wherever the focus is on the
// screen except in a text field, the list (which keeps its arrow keys for moving
// between rows) and an open menu (Up/Down move between its entries). Ctrl+K
// stands in for a shake; F1 presents the About screen. Keys do nothing while the
// movie screen is shown, except Space.
//
// Main thread only.

#include <QObject>

class MainViewController;
class QKeyEvent;
class QMouseEvent;

class PlayerKeys : public QObject {
    Q_OBJECT
public:
    static constexpr float kSeekStep = 5.0f;  // s, Left/Right
    static constexpr float kSeekPage = 30.0f; // s, Page Up/Page Down
    static constexpr int kVolumeStep = 5;     // of the volume control's 0..100, Up/Down

    // Watches the application for the screen's keys while screen lives; a child of
    // screen.
    explicit PlayerKeys(MainViewController& screen);

    // The keys of the screen, one per line, as its tooltip shows them.
    static QString keysHelp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool screenKey(QObject *receiver, const QKeyEvent *key);
    void seekToClick(const QMouseEvent *press);

    MainViewController& m_screen; // owns this
};
