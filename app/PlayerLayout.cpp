#include "app/PlayerLayout.h"

#include <algorithm>

PlayerLayout PlayerLayout::forSize(QSize size)
{
    const int w = std::max(size.width(), kMinimumSize.width());
    const int h = std::max(size.height(), kMinimumSize.height());
    // The five transport buttons and the volume keep their 320 px cluster, centred;
    // the video button stays at the left edge under the repeat button.
    const int x = (w - kMinimumSize.width()) / 2;
    PlayerLayout l;
    l.controlPanel = {0, 0, w, kControlPanelHeight};
    l.repeat = {x + 6, 6, 40, 40};
    l.backward = {x + 70, 2, 48, 48};
    l.play = {x + 136, 2, 48, 48};
    l.forward = {x + 202, 2, 48, 48};
    l.shuffle = {x + 274, 6, 40, 40};
    l.video = {10, 52, 40, 26};
    l.volume = {x + 96, 55, 122, 30};

    l.panelWidth = w;
    const int barTop = h - kBarHeight;
    l.panelUnfolded = barTop - kControlPanelHeight;
    const int handle = ListPanel::kFolded;
    l.panelHandle = {0, 0, w, handle};
    l.panelTable = {0, handle, w, l.panelUnfolded - handle};
    l.panelInfo = {w - 120, 0, 112, handle};
    l.panelGrip = {(w - 28) / 2, 0, 28, handle};

    l.songName = {10, 140, w - 20, 56};
    l.seeker = {20, 220, w - 40, 24};
    l.time = {(w - 100) / 2, 250, 100, 26};
    l.emptyHint = {(w - 240) / 2, 140, 240, 76};
    // The picture: a square under the time, as large as the space above the bar
    // allows once the original margin of 73 px is kept, never wider than the screen.
    const int side = std::min(w - 40, barTop - 73 - 292);
    l.art = {(w - side) / 2, 292, side, side};

    // The bar's buttons share the width; the last takes the odd pixels.
    for (int i = 0; i < kBarButtons; ++i) {
        const int left = w * i / kBarButtons;
        const int right = w * (i + 1) / kBarButtons;
        l.barButtons.append({left, barTop, right - left, kBarHeight});
    }
    return l;
}

QRect PlayerLayout::menuFrame(const QRect& barButton, int entries)
{
    const int height = 2 + 34 * entries;
    const int x = std::max(2, barButton.x() + (barButton.width() - 80) / 2);
    return {x, barButton.y() - 13 - height, 80, height};
}
