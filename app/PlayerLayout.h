#pragma once

// Where each part of the player screen goes for a given screen size. At the
// smallest size, 320 x 460, the frames are the phone-sized originals; a larger
// screen widens the bars, the list panel and the slider, keeps the controls in
// their order around the centre, lengthens the unfolded list to the bottom bar
// and gives the picture of the item the height that is left.
//
// A plain value computed by a pure function; no widgets.

#include "app/ListPanel.h"

#include <QList>
#include <QRect>
#include <QSize>

struct PlayerLayout {
    static constexpr QSize kMinimumSize{320, 460};
    static constexpr int kControlPanelHeight = 80; // the list panel hangs below it
    static constexpr int kBarHeight = 35;          // the bottom bar's buttons
    static constexpr int kBarButtons = 4;

    // In the control panel's coordinates.
    QRect repeat, backward, play, forward, shuffle, video, volume;
    // In the screen's coordinates.
    QRect controlPanel;
    QRect songName, seeker, time, art, emptyHint;
    QList<QRect> barButtons; // left to right
    // The list panel: its width, and its height unfolded (handle and table).
    int panelWidth = 0;
    int panelUnfolded = 0;
    // In the panel's coordinates: its handle and its table.
    QRect panelHandle, panelTable;
    // In the handle's coordinates.
    QRect panelInfo, panelGrip;

    // size below the minimum is laid out as the minimum (parts are cut off).
    static PlayerLayout forSize(QSize size);
    // The frame of a bar button's menu of entries (78 x 34 px each, one above the
    // other), rising from the top of the button.
    static QRect menuFrame(const QRect& barButton, int entries);
};
