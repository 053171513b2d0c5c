#include "media/MediaInfo.h"

#include "audio/AudioDecoder.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QString silenceWave(const QString& name, int rate, double seconds)
{
    const QString path = MediaFixtures::cachedSound(name, QStringLiteral("0"), seconds, rate, 1);
    EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    return path;
}

QString taggedTone(const QString& name, const QString& tagArgs)
{
    const QString path = MediaFixtures::cachedTone(name, 440, 1.0, 44100, 2, tagArgs);
    EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    return path;
}

TEST(MediaInfoTest, DurationTextIsWholeMinutesAndTwoDigitSeconds)
{
    EXPECT_EQ(MediaInfo::durationText(44100LL * 125, 44100), QStringLiteral("2:05"));
    EXPECT_EQ(MediaInfo::durationText(44100LL * 60, 44100), QStringLiteral("1:00"));
    EXPECT_EQ(MediaInfo::durationText(int64_t(59.99 * 44100), 44100), QStringLiteral("0:59"));
    EXPECT_EQ(MediaInfo::durationText(8000LL * 75 * 60, 8000), QStringLiteral("75:00"));
    EXPECT_EQ(MediaInfo::durationText(48000LL * 10, 48000), QStringLiteral("0:10"));
    EXPECT_EQ(MediaInfo::durationText(48000LL * 9 + 47999, 48000), QStringLiteral("0:09"));
    EXPECT_EQ(MediaInfo::durationText(22050LL * 3599, 22050), QStringLiteral("59:59"));
    EXPECT_EQ(MediaInfo::durationText(0, 44100), QStringLiteral("0:00"));
    EXPECT_TRUE(MediaInfo::durationText(1000, 0).isEmpty());
}

TEST(MediaInfoTest, DurationOfFilesComesFromTheirHeaders)
{
    QUAVER_REQUIRE_FFMPEG();
    EXPECT_EQ(MediaInfo::durationForItemAtPath(silenceWave(QStringLiteral("a.wav"), 8000, 125)),
              QStringLiteral("2:05"));
    EXPECT_EQ(MediaInfo::durationForItemAtPath(silenceWave(QStringLiteral("b.wav"), 8000, 60)),
              QStringLiteral("1:00"));
    EXPECT_EQ(MediaInfo::durationForItemAtPath(silenceWave(QStringLiteral("c.wav"), 8000, 59.99)),
              QStringLiteral("0:59"));
    // 75 minutes of AMR blocks that carry no data: a long file made in no time.
    const QString longAmr = MediaFixtures::amrNb(
        TestEnvironment::home() + QStringLiteral("/long.amr"), 0, 75 * 60 * 50);
    EXPECT_EQ(MediaInfo::durationForItemAtPath(longAmr), QStringLiteral("75:00"));

    // Compressed files: priming and padding do not add a second.
    for (const char *file : {"d.mp3", "d.m4a", "d.aac", "d.mp2"}) {
        const QString path =
            MediaFixtures::cachedTone(QString::fromLatin1(file), 440, 11.0, 44100, 2);
        ASSERT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
        MediaInfo info(path);
        EXPECT_EQ(info.duration(), QStringLiteral("0:11")) << file;
        EXPECT_EQ(info.status(), 0);
    }
}

TEST(MediaInfoTest, DurationAgreesWithTheEngine)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString path = MediaFixtures::cachedTone(QStringLiteral("e.mp3"), 440, 59.99, 44100, 1);
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path));
    EXPECT_EQ(MediaInfo::durationForItemAtPath(path),
              MediaInfo::durationText(decoder.totalFrames(), decoder.sampleRate()));
    EXPECT_EQ(MediaInfo::durationForItemAtPath(path), QStringLiteral("0:59"));
}

TEST(MediaInfoTest, FilesWithoutAudioHaveNoDuration)
{
    const QString missing = TestEnvironment::home() + QStringLiteral("/missing.mp3");
    MediaInfo info(missing);
    EXPECT_FALSE(info.duration());
    EXPECT_NE(info.status(), 0);
    EXPECT_FALSE(info.id3Tags());

    QByteArray noise(4096, '\0');
    QRandomGenerator generator(3);
    for (char& b : noise)
        b = char(generator.generate());
    const QString damaged =
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/noise.mp3"), noise);
    EXPECT_FALSE(MediaInfo::durationForItemAtPath(damaged));
    EXPECT_FALSE(MediaInfo(damaged).id3Tags());
    EXPECT_FALSE(MediaInfo::durationForItemAtPath(TestEnvironment::home()));
}

TEST(MediaInfoTest, TagsAsTheFileCarriesThem)
{
    QUAVER_REQUIRE_FFMPEG();
    struct Case {
        const char *file;
        const char *args;
    };
    const QString title = QStringLiteral("Tëst Tone ♪");
    const QString artist = QStringLiteral("Synthetic Ensemble");
    // CAF keeps its tags in an information chunk that only the container reader knows.
    // One container per way of reading tags: ID3, MP4 atoms, AIFF chunks, CAF.
    for (const Case& c : {Case{"tags.mp3", ""}, Case{"tags.m4a", "-c:a aac"},
                          Case{"tags.aiff", "-write_id3v2 1"}, Case{"tags.caf", ""}}) {
        SCOPED_TRACE(c.file);
        const QString path =
            taggedTone(QString::fromLatin1(c.file),
                       QStringLiteral("-metadata \"title=%1\" -metadata \"artist=%2\" %3")
                           .arg(title, artist, QString::fromLatin1(c.args)));
        MediaInfo info(path);
        const auto tags = info.id3Tags();
        ASSERT_TRUE(tags.has_value());
        EXPECT_EQ(tags->value(QStringLiteral("title")).toString(), title);
        EXPECT_EQ(tags->value(QStringLiteral("artist")).toString(), artist);
        EXPECT_EQ(info.status(), 0);
    }
}

TEST(MediaInfoTest, MissingTagsAreMissingKeys)
{
    QUAVER_REQUIRE_FFMPEG();
    const auto titleOnly = MediaInfo(taggedTone(QStringLiteral("title-only.mp3"),
                                                QStringLiteral("-metadata title=Alone")))
                               .id3Tags();
    ASSERT_TRUE(titleOnly.has_value());
    EXPECT_EQ(titleOnly->value(QStringLiteral("title")).toString(), QStringLiteral("Alone"));
    EXPECT_FALSE(titleOnly->contains(QStringLiteral("artist")));

    // A readable file without tags: a dictionary, empty of title and artist.
    const auto untagged =
        MediaInfo(taggedTone(QStringLiteral("untagged.wav"),
                             QStringLiteral("-map_metadata -1 -fflags +bitexact")))
            .id3Tags();
    ASSERT_TRUE(untagged.has_value());
    EXPECT_FALSE(untagged->contains(QStringLiteral("title")));
    EXPECT_FALSE(untagged->contains(QStringLiteral("artist")));

    const QString amr = MediaFixtures::amrNb(TestEnvironment::home() + QStringLiteral("/v.amr"), 5);
    const auto amrTags = MediaInfo(amr).id3Tags();
    ASSERT_TRUE(amrTags.has_value());
    EXPECT_TRUE(amrTags->isEmpty());
}

} // namespace
