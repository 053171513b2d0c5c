#include "services/CASettings.h"

QList<CASettings::Section> CASettings::settingsList()
{
    return {{QStringLiteral("Music"),
             {{QStringLiteral("Shake To Shuffle"), kSwitch},
              {QStringLiteral("EQ"), kPicker},
              {QStringLiteral("Volume Limit"), kPicker},
              {QStringLiteral("Playback Rate"), kPicker},
              {QStringLiteral("Keep Pitch"), kSwitch},
              {QStringLiteral("ReplayGain"), kPicker},
              {QStringLiteral("Resume Playback"), kSwitch}}},
            {QStringLiteral("File Manager"),
             {{QStringLiteral("Home Folder"), kSwitch}, {QStringLiteral("Bookmarks"), kPicker}}}};
}
