#include "media/MediaInfo.h"
#include "media/TagFileStream.h"

#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <random>

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

// Tags are read through TagFileStream: any mix of seeks and reads, small and large,
// across its window and past the end, reads what the file holds there.
TEST(TagFileStream, ReadsWhatTheFileHoldsAtEachPosition)
{
    QByteArray bytes(5 * TagFileStream::kWindowBytes / 2 + 7, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 131 + i / 251);
    TagFileStream stream(
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/f.wav"), bytes));
    ASSERT_TRUE(stream.isOpen());
    EXPECT_EQ(stream.length(), bytes.size());
    std::mt19937 random(7);
    long position = 0;
    for (int i = 0; i < 20000; ++i) {
        // Mostly short steps, as a tag reader walks a file.
        const auto from = TagLib::IOStream::Position(random() % 4 ? 1 : random() % 3);
        const long offset =
            long(random() % (from == TagLib::IOStream::Current ? 41 : bytes.size() + 40)) - 20;
        const long base = from == TagLib::IOStream::Beginning ? 0
                          : from == TagLib::IOStream::Current ? position
                                                              : long(bytes.size());
        stream.seek(offset, from);
        position = base + offset >= 0 ? base + offset : position;
        ASSERT_EQ(stream.tell(), position) << i;
        const unsigned long length = random() % (i % 4 ? 64 : 3 * TagFileStream::kWindowBytes);
        const TagLib::ByteVector block = stream.readBlock(length);
        const QByteArray expected = bytes.mid(std::min<long>(position, bytes.size()), long(length));
        ASSERT_EQ(QByteArray(block.data(), block.size()), expected) << i;
        position += expected.size();
    }
    EXPECT_FALSE(TagFileStream(TestEnvironment::home()).isOpen()) << "a folder";
}

} // namespace
