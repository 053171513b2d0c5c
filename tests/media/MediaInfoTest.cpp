#include "media/MediaInfo.h"

#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

// Files without audio have no duration and no tags. One container per way of
// reading tags: ID3, MP4 atoms, AIFF chunks, CAF (an information chunk only the
// container reader knows), AMR (none); a tag the file lacks is a missing key. The
// length comes from the headers, is truncated to whole seconds shown in two digits,
// and priming and padding of compressed files do not add a second.
TEST(MediaInfoTest, DurationInWholeSecondsAndTagsAsTheFileCarriesThem)
{
    const QString home = TestEnvironment::home();
    for (const QString& path :
         {home + QStringLiteral("/missing.mp3"), home,
          TestEnvironment::writeFile(home + QStringLiteral("/noise.mp3"), QByteArray(4096, 'x'))}) {
        MediaInfo info(path);
        EXPECT_FALSE(info.duration() || info.id3Tags()) << path.toStdString();
        EXPECT_NE(info.status(), 0) << path.toStdString();
    }
    EXPECT_EQ(MediaInfo::durationText(48000LL * 9 + 47999, 48000), QStringLiteral("0:09"));
    EXPECT_EQ(MediaInfo::durationText(48000LL * 10, 48000), QStringLiteral("0:10"));
    QUAVER_REQUIRE_FFMPEG();
    // 75 minutes of AMR blocks that carry no data: a long file made in no time.
    const QString longAmr =
        MediaFixtures::amrNb(home + QStringLiteral("/long.amr"), 0, 75 * 60 * 50);
    EXPECT_EQ(MediaInfo::durationForItemAtPath(longAmr), QStringLiteral("75:00"));
    const QString title = QStringLiteral("Tëst Tone ♪");
    const QString artist = QStringLiteral("Synthetic Ensemble");
    const QString both =
        QStringLiteral("-metadata \"title=%1\" -metadata \"artist=%2\" ").arg(title, artist);
    const std::tuple<const char *, double, const char *, QString, bool, bool> cases[] = {
        {"tags.mp3", 11, "0:11", both, true, true},
        {"tags.m4a", 11, "0:11", both + QStringLiteral("-c:a aac"), true, true},
        {"tags.aiff", 11, "0:11", both + QStringLiteral("-write_id3v2 1"), true, true},
        {"tags.caf", 11, "0:11", both, true, true},
        {"tags.wav", 11, "0:11", both, true, true},
        {"title-only.mp3", 59.99, "0:59", QStringLiteral("-metadata \"title=%1\"").arg(title), true,
         false},
        {"untagged.wav", 11, "0:11", QStringLiteral("-map_metadata -1 -fflags +bitexact"), false,
         false},
        {"d.aac", 11, "0:11", {}, false, false},
        {"d.mp2", 11, "0:11", {}, false, false},
        {"v.amr", 0.1, "0:00", {}, false, false}};
    for (const auto& [file, seconds, shown, args, hasTitle, hasArtist] : cases) {
        SCOPED_TRACE(file);
        const QString name = QString::fromLatin1(file);
        const QString path = name.endsWith(QLatin1String(".amr"))
                                 ? MediaFixtures::amrNb(home + QLatin1Char('/') + name, 5)
                                 : MediaFixtures::cachedTone(name, 440, seconds, 44100, 2, args);
        ASSERT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
        MediaInfo info(path);
        QVariantMap expected;
        if (hasTitle)
            expected.insert(QStringLiteral("title"), title);
        if (hasArtist)
            expected.insert(QStringLiteral("artist"), artist);
        EXPECT_EQ(info.id3Tags(), expected);
        EXPECT_EQ(info.status(), 0);
        EXPECT_EQ(MediaInfo::durationForItemAtPath(path), QLatin1String(shown));
    }
}

} // namespace
