#include "playlists/PlaylistInterchange.h"
#include "playlists/PlaylistHelper.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

MediaDescPtr record(const QString& path, const char *artist, const char *title, const char *length)
{
    auto item = std::make_shared<MediaDesc>();
    item->filePath = path;
    if (artist)
        item->artist = QString::fromUtf8(artist);
    if (title)
        item->title = QString::fromUtf8(title);
    if (length)
        item->duration = QString::fromLatin1(length);
    return item;
}

} // namespace

// The export names each song as the player does, and both the importer and a real
// reader take it back: same paths, same order, awkward names included.
TEST(PlaylistInterchange, ExportReadsBackInOrderAndARealReaderAcceptsIt)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString tone = MediaFixtures::cachedTone(QStringLiteral("m3u.mp3"), 440, 1, 44100, 1);
    ASSERT_FALSE(tone.isEmpty()) << MediaFixtures::lastError().toStdString();
    const QString dir = TestEnvironment::home() + QStringLiteral("/Mus ic");
    QStringList paths;
    for (const char *name : {"Zo, ë #1.mp3", "b.mp3", "a,b.mp3", "Track 01.mp3"}) {
        paths.append(dir + QLatin1Char('/') + QString::fromUtf8(name));
        QDir().mkpath(dir);
        ASSERT_TRUE(QFile::copy(tone, paths.last()));
    }
    const MediaList items{record(paths[0], "Ärtist", "Song, one", "3:07"),
                          record(paths[1], nullptr, "Title", "1:02:03"),
                          record({}, "no", "path", nullptr), record(paths[2], "Solo", nullptr, "x"),
                          record(paths[3], nullptr, nullptr, nullptr)};
    const QString out = dir + QStringLiteral("/list.m3u8");
    ASSERT_TRUE(PlaylistInterchange::exportItems(items, out));

    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              QStringLiteral("#EXTM3U\n#EXTINF:187,Ärtist - Song, one\n%1\n#EXTINF:3723,Title\n%2\n"
                             "#EXTINF:-1,Solo\n%3\n#EXTINF:-1,Track 01\n%4\n")
                  .arg(paths[0], paths[1], paths[2], paths[3]));
    const auto back = PlaylistInterchange::entriesOfFile(out);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->paths, paths);
    EXPECT_EQ(back->skipped, 0);

    const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    ASSERT_FALSE(ffprobe.isEmpty());
    QProcess probe;
    probe.start(ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                          QStringLiteral("hls"), QStringLiteral("-show_entries"),
                          QStringLiteral("stream=codec_name"), out});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    EXPECT_TRUE(probe.readAllStandardOutput().contains("codec_name=mp3"));
}

// Entries as other programs write them: relative, URLs, missing files, PLS order,
// a byte order mark with CRLF, Latin-1. Importing names the playlist after the file
// through the store's free-name rule and reports the count.
TEST(PlaylistInterchange, ImportResolvesSkipsAndReportsTheCount)
{
    const QString dir = TestEnvironment::home() + QStringLiteral("/lists");
    const QString a = TestEnvironment::writeFile(dir + QStringLiteral("/sub/a.mp3"), "x");
    const QString b = TestEnvironment::writeFile(dir + QStringLiteral("/b é.mp3"), "x");
    QDir().mkpath(dir + QStringLiteral("/folder.mp3"));
    const struct {
        const char *name;
        QByteArray bytes;
        QStringList paths;
        int skipped;
    } cases[] = {
        {"one.m3u8",
         "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,x\r\nsub/a.mp3\r\n\r\nhttp://host/s.mp3\r\n"
         "missing.mp3\r\nfolder.mp3\r\n  file://" +
             QFile::encodeName(b).toPercentEncoding("/") + "\r\n",
         {a, b},
         3},
        {"two.PLS",
         "[playlist]\nFile2=sub/a.mp3\nFile10=" + b.toUtf8() +
             "\nFile1=b \xC3\xA9.mp3\nTitle1=t\nNumberOfEntries=3\n[other]\nFile3=b.mp3\n",
         {b, a, b},
         0},
        {"three.m3u", "# latin-1\n./b \xE9.mp3\n../lists/sub/a.mp3\n", {b, a}, 0},
    };
    for (const auto& c : cases) {
        const QString path = TestEnvironment::writeFile(
            dir + QLatin1Char('/') + QString::fromLatin1(c.name), c.bytes);
        const auto entries = PlaylistInterchange::entriesOfFile(path);
        ASSERT_TRUE(entries.has_value()) << c.name;
        EXPECT_EQ(entries->paths, c.paths) << c.name;
        EXPECT_EQ(entries->skipped, c.skipped) << c.name;
    }

    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("one"), {}, true));
    TestEnvironment::takeAlertMessages();
    EXPECT_EQ(PlaylistInterchange::importPlaylist(dir + QStringLiteral("/one.m3u8")),
              QStringLiteral("one1"));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              (QStringList{QStringLiteral("one1 playlist has been created."),
                           QStringLiteral("2 songs imported into “one1”. 3 entries skipped.")}));
    const auto saved = PlaylistHelper::contentsForPlaylist(QStringLiteral("one1"));
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size(), 2);
    EXPECT_EQ(saved->at(0)->filePath, a);
    EXPECT_EQ(saved->at(1)->filePath, b);
}

// A file that is no playlist says why and creates nothing.
TEST(PlaylistInterchange, MalformedFileGivesItsMessageAndCreatesNothing)
{
    const QString dir = TestEnvironment::home();
    TestEnvironment::writeFile(dir + QStringLiteral("/a.mp3"), "x");
    const struct {
        const char *name;
        QByteArray bytes;
        const char *message;
    } cases[] = {
        {"bin.m3u",
         QByteArray("a.mp3\n\x7F"
                    "ELF\x02\x01\x00\x00",
                    13),
         "“bin.m3u” is not a playlist: it holds binary data."},
        {"nosection.pls", "File1=a.mp3\n",
         "“nosection.pls” is not a PLS playlist: it has no [playlist] section."},
        {"latin.m3u8", "a\xE9.mp3\n", "“latin.m3u8” is not a valid UTF-8 playlist."},
        {"big.m3u", QByteArray(PlaylistInterchange::kMaxFileBytes + 1, '#'),
         "“big.m3u” is too large to be a playlist."},
        {"a.mp3", "x", "Only .m3u, .m3u8 and .pls files can be imported."},
    };
    for (const auto& c : cases) {
        const QString path = TestEnvironment::writeFile(
            dir + QLatin1Char('/') + QString::fromLatin1(c.name), c.bytes);
        EXPECT_EQ(PlaylistInterchange::importPlaylist(path), std::nullopt) << c.name;
        EXPECT_EQ(TestEnvironment::takeAlertMessages(), QStringList{QString::fromUtf8(c.message)});
    }
    EXPECT_FALSE(PlaylistHelper::playlistFolderExist());
}
