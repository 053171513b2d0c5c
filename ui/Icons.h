#pragma once

// The program's images, drawn as SVG and kept in the resources under ":/icons/".
// Names are the image names screens use, with or without ".png" or ".svg"
// ("play.png", "play" and ":/icons/play.svg" are the same image).
//
// Images (44 x 44 unless noted): play, pause, forward, backward, repeat_off,
// repeat_on_1, repeat_on, shuffle_on, shuffle_off, video, playlistHandle, hand
// (slider thumb, 22 x 22), fullSlider and sliderCover (slider tracks, 20 x 9;
// stretch only the column at x 10), folderIcon, fileIcon, selRow, unSelRow,
// background (a 6 x 6 tile), back, songs, playlists, settings, mail, disclosure (29 x 29,
// the button that opens a row's details).
//
// Main thread only.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace Icons {

// The icon, scalable to any size; null for an unknown name. Icons are cached.
QIcon named(const QString& imageName);

// The image drawn at size (logical pixels) for the application's device pixel
// ratio, or dpr when it is positive. Null for an unknown name or an empty size.
QPixmap pixmap(const QString& imageName, QSize size, qreal dpr = 0);

// The image's own size in logical pixels; empty for an unknown name.
QSize naturalSize(const QString& imageName);

// ":/icons/<name>.svg" (for style sheets); empty for an unknown name.
QString resourcePath(const QString& imageName);

// Every image name, without extension.
QStringList names();

} // namespace Icons
