#include "media/MediaHelper.h"

#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

// One record per existing file or folder, in the paths' order, with only title,
// artist and album taken from its tags; missing paths are skipped.
TEST(MediaHelperTest, OneRecordPerExistingPathInOrderWithTitleArtistAndAlbum)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString home = TestEnvironment::home();
    const QString both = MediaFixtures::cachedTone(
        QStringLiteral("both.mp3"), 440, 0.5, 22050, 1,
        QStringLiteral("-metadata title=First -metadata artist=Band -metadata album=Record"));
    const QString titleOnly =
        MediaFixtures::cachedTone(QStringLiteral("title.m4a"), 440, 0.5, 22050, 1,
                                  QStringLiteral("-c:a aac -metadata title=Second"));
    ASSERT_FALSE(both.isEmpty() || titleOnly.isEmpty()) << MediaFixtures::lastError().toStdString();
    const QString junk =
        TestEnvironment::writeFile(home + QStringLiteral("/junk.mp3"), QByteArray(64, 'x'));
    const QString folder = home + QStringLiteral("/Album.mp3");
    ASSERT_TRUE(QDir().mkpath(folder));

    const MediaList records = MediaHelper::collectionWithMedia(
        {titleOnly, home + QStringLiteral("/missing.mp3"), both, junk, folder, both});
    ASSERT_EQ(records.size(), 5);
    const QStringList paths{titleOnly, both, junk, folder, both};
    const std::optional<QString> titles[] = {QStringLiteral("Second"), QStringLiteral("First"),
                                             std::nullopt, std::nullopt, QStringLiteral("First")};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const bool tagged = paths[i] == both;
        EXPECT_EQ(records[i]->filePath, paths[i]);
        EXPECT_EQ(records[i]->title, titles[i]);
        EXPECT_EQ(records[i]->artist,
                  tagged ? std::optional(QStringLiteral("Band")) : std::nullopt);
        EXPECT_EQ(records[i]->album,
                  tagged ? std::optional(QStringLiteral("Record")) : std::nullopt);
        EXPECT_FALSE(records[i]->duration || records[i]->albumArt || records[i]->lyric);
    }
    EXPECT_NE(records[1], records[4]) << "each path makes its own record";
}
