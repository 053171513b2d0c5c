#include "media/MediaHelper.h"

#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

QString tagged(const QString& name, const QString& tagArgs)
{
    const QString path = MediaFixtures::cachedTone(name, 440, 0.5, 22050, 1, tagArgs);
    EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    return path;
}

TEST(MediaHelperTest, EmptyOrMissingPathsGiveNoRecords)
{
    EXPECT_TRUE(MediaHelper::collectionWithMedia({}).isEmpty());
    const QString home = TestEnvironment::home();
    EXPECT_TRUE(MediaHelper::collectionWithMedia(
                    {home + QStringLiteral("/gone.mp3"), home + QStringLiteral("/none.wav")})
                    .isEmpty());
}

TEST(MediaHelperTest, OneRecordPerExistingFileInOrderWithItsTags)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString both = tagged(QStringLiteral("both.mp3"),
                                QStringLiteral("-metadata title=First -metadata artist=Band "
                                               "-metadata album=Record"));
    const QString titleOnly =
        tagged(QStringLiteral("title.m4a"), QStringLiteral("-c:a aac -metadata title=Second"));
    const QString none =
        tagged(QStringLiteral("none.wav"), QStringLiteral("-map_metadata -1 -fflags +bitexact"));
    const QString missing = TestEnvironment::home() + QStringLiteral("/missing.mp3");
    const QString junk = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/junk.mp3"), QByteArray(64, 'x'));

    const MediaList records =
        MediaHelper::collectionWithMedia({titleOnly, missing, both, none, junk});
    ASSERT_EQ(records.size(), 4);

    EXPECT_EQ(records[0]->filePath, titleOnly);
    EXPECT_EQ(records[0]->title, QStringLiteral("Second"));
    EXPECT_FALSE(records[0]->artist.has_value());

    EXPECT_EQ(records[1]->filePath, both);
    EXPECT_EQ(records[1]->title, QStringLiteral("First"));
    EXPECT_EQ(records[1]->artist, QStringLiteral("Band"));
    // Only title and artist are taken; the rest is filled later or never.
    EXPECT_FALSE(records[1]->album.has_value());
    EXPECT_FALSE(records[1]->duration.has_value());
    EXPECT_FALSE(records[1]->albumArt.has_value());
    EXPECT_FALSE(records[1]->lyric.has_value());

    for (int i : {2, 3}) {
        EXPECT_FALSE(records[i]->title.has_value()) << i;
        EXPECT_FALSE(records[i]->artist.has_value()) << i;
    }
    EXPECT_EQ(records[3]->filePath, junk);

    // Each path makes its own record, even the same path twice.
    const MediaList twice = MediaHelper::collectionWithMedia({both, both});
    ASSERT_EQ(twice.size(), 2);
    EXPECT_NE(twice[0], twice[1]);
}

TEST(MediaHelperTest, AFolderThatExistsIsKeptWithoutTags)
{
    const QString folder = TestEnvironment::home() + QStringLiteral("/Album.mp3");
    ASSERT_TRUE(QDir().mkpath(folder));
    const MediaList records = MediaHelper::collectionWithMedia({folder});
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]->filePath, folder);
    EXPECT_FALSE(records[0]->title.has_value());
}

} // namespace
