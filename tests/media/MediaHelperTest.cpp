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

// One record per existing file or folder, in the paths' order, with only title and
// artist taken from its tags; missing paths are skipped.
TEST(MediaHelperTest, OneRecordPerExistingPathInOrderWithTitleArtistAndAlbum)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString home = TestEnvironment::home();
    const QString both = tagged(QStringLiteral("both.mp3"),
                                QStringLiteral("-metadata title=First -metadata artist=Band "
                                               "-metadata album=Record"));
    const QString titleOnly =
        tagged(QStringLiteral("title.m4a"), QStringLiteral("-c:a aac -metadata title=Second"));
    const QString junk =
        TestEnvironment::writeFile(home + QStringLiteral("/junk.mp3"), QByteArray(64, 'x'));
    const QString folder = home + QStringLiteral("/Album.mp3");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(MediaHelper::collectionWithMedia({home + QStringLiteral("/gone.mp3")}).isEmpty());

    const MediaList records = MediaHelper::collectionWithMedia(
        {titleOnly, home + QStringLiteral("/missing.mp3"), both, junk, folder, both});
    ASSERT_EQ(records.size(), 5);
    const QStringList paths{titleOnly, both, junk, folder, both};
    const std::optional<QString> titles[] = {QStringLiteral("Second"), QStringLiteral("First"),
                                             std::nullopt, std::nullopt, QStringLiteral("First")};
    const std::optional<QString> artists[] = {std::nullopt, QStringLiteral("Band"), std::nullopt,
                                              std::nullopt, QStringLiteral("Band")};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i]->filePath, paths[i]);
        EXPECT_EQ(records[i]->title, titles[i]);
        EXPECT_EQ(records[i]->artist, artists[i]);
        EXPECT_EQ(records[i]->album,
                  artists[i] ? std::optional(QStringLiteral("Record")) : std::nullopt);
        EXPECT_FALSE(records[i]->duration || records[i]->albumArt || records[i]->lyric);
    }
    EXPECT_NE(records[1], records[4]) << "each path makes its own record";
}

} // namespace
