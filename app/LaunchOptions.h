#pragma once

// What the command line asked for. Parsed by main(), read by AppDelegate.

#include <QSize>
#include <QString>
#include <QStringList>

struct LaunchOptions {
    // Root of the media partition that holds the music-library databases.
    QString mediaRoot = QStringLiteral("/var/mobile/Media");
    // Files and folders to add to the current list at start.
    QStringList paths;
    // When set: save a picture of the window to this PNG file, then quit.
    QString screenshotPath;
    // When valid: the window opens at this size, whatever size was remembered.
    QSize windowSize;
    // Play at once from the stored resume point (stored while "Resume Playback" is
    // on), even if the switch has been turned off since.
    bool resume = false;
};
