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
    // path|title|artist|album, "-" for an absent field, then "+" when anything else is set.
    auto text = [](const std::optional<QString>& v) { return v.value_or(QStringLiteral("-")); };
    QStringList described;
    for (const MediaDescPtr& r : records)
        described << QStringList{text(r->filePath), text(r->title), text(r->artist), text(r->album),
                                 QLatin1String(r->duration || r->albumArt || r->lyric ? "+" : "")}
                         .join(QLatin1Char('|'));
    const QString tagged = both + QStringLiteral("|First|Band|Record|");
    ASSERT_EQ(described, (QStringList{titleOnly + QStringLiteral("|Second|-|-|"), tagged,
                                      junk + QStringLiteral("|-|-|-|"),
                                      folder + QStringLiteral("|-|-|-|"), tagged}));
    EXPECT_NE(records[1], records[4]) << "each path makes its own record";
}
