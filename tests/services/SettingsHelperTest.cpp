#include "services/SettingsHelper.h"
#include "platform/UserDefaults.h"
#include "services/SettingsKeys.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace SettingsKeys;

namespace {

void storeRaw(const QVariantMap& dict)
{
    UserDefaults::standard().setObject(Settings, dict);
}

} // namespace

// Settings merge and bookmarks keep duplicates; all is on disk at once.
TEST(SettingsHelper, SettingsAndBookmarksAreOnDiskAtOnce)
{
    EXPECT_FALSE(SettingsHelper::storedSettingsDict().has_value()) << "fresh install";
    EXPECT_FALSE(SettingsHelper::getSwitchStateForSettingWithName(u"Home Folder"_s));
    SettingsHelper::setSettings(HomeFolder, true);
    SettingsHelper::setSettings(EQ, 4);
    SettingsHelper::setSettings(EQ, 5);
    for (const char *path : {"/m", "/n", "/m"})
        SettingsHelper::addBookmarkWithPath(QString::fromLatin1(path));
    UserDefaults::resetStandardForTesting(); // as after a restart
    EXPECT_TRUE(SettingsHelper::getSwitchStateForSettingWithName(u"Home Folder"_s));
    EXPECT_EQ(SettingsHelper::intValue(SettingsHelper::settingsDict(), EQ), 5);
    EXPECT_EQ(SettingsHelper::bookmarks(), (QStringList{u"/m"_s, u"/n"_s, u"/m"_s}));
}

// The active bookmark needs the switch and an index inside the list; removing a
// bookmark keeps the active index on the same folder.
TEST(SettingsHelper, RemovingABookmarkKeepsTheActiveFolder)
{
    storeRaw({{Bookmarks, QStringList{u"/a"_s, u"/b"_s}}, {ActiveBookmark, 1}});
    EXPECT_FALSE(SettingsHelper::activeBookmark().has_value()) << "switch off";
    struct Case {
        QVariantList stored;
        qint64 active;
        const char *removed;
        QStringList left;
        qint64 activeAfter;
    };
    const QString a = u"/a"_s, b = u"/b"_s, c = u"/c"_s;
    const Case cases[] = {
        {{a, b, c}, 2, "/a", {b, c}, 1},         // before the active one
        {{a, b, a, c}, 3, "/a", {b, a, c}, 2},   // one copy goes, the other stays
        {{a, b, c}, 1, "/b", {a, c}, -1},        // the active one itself
        {{a, b, c}, 0, "/c", {a, b}, 0},         // after it
        {{a, b, c}, 1, "/absent", {a, b, c}, 1}, // nothing removed
        {{a, 7, b}, 2, "/a", {b}, 0},            // an entry that is no path goes too
        {{a}, 5, "/a", {}, -1},                  // the list emptied
        {{a, b}, -1, "/a", {b}, -1},             // no active folder
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << t.removed << " active " << t.active);
        storeRaw({{HomeFolder, true}, {Bookmarks, t.stored}, {ActiveBookmark, t.active}});
        const std::optional<QString> before = SettingsHelper::activeBookmark();
        EXPECT_EQ(before.has_value(), t.active >= 0 && t.active < t.stored.size());
        SettingsHelper::removeBookmarkWithName(QString::fromUtf8(t.removed));
        UserDefaults::resetStandardForTesting(); // read back from disk
        EXPECT_EQ(SettingsHelper::bookmarks(), t.left);
        EXPECT_EQ(SettingsHelper::intValue(SettingsHelper::settingsDict(), ActiveBookmark),
                  t.activeAfter);
        EXPECT_EQ(SettingsHelper::activeBookmark(), t.activeAfter < 0 ? std::nullopt : before);
    }
}
