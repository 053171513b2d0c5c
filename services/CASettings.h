#pragma once

// The rows of the settings screen, built afresh at each call, sections in a
// fixed order:
//   "Music":        "Shake To Shuffle" (Switch), "EQ", "Volume Limit",
//                   "Playback Rate" (Pickers), "Keep Pitch" (Switch), "ReplayGain"
//                   (Picker), "Resume Playback" (Switch)
//   "File Manager": "Home Folder" (Switch), "Bookmarks" (Picker)
// A switch's settings key is its title without blanks. Any thread.

#include <QList>
#include <QString>

class CASettings {
public:
    struct Row {
        QString title;
        QString type; // kSwitch or kPicker
    };
    struct Section {
        QString title;
        QList<Row> rows;
    };

    static inline const QString kSwitch = QStringLiteral("Switch");
    static inline const QString kPicker = QStringLiteral("Picker");

    static QList<Section> settingsList();
};
