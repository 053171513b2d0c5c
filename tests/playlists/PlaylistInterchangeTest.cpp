#include "playlists/PlaylistInterchange.h"
#include "playlists/PlaylistHelper.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

MediaDescPtr record(std::optional<QString> path, std::optional<QString> artist,
                    std::optional<QString> title, std::optional<QString> length)
{
    return std::make_shared<MediaDesc>(MediaDesc{artist, title, length, path, {}, {}, {}});
}

} // namespace

// The export names each song as the player does, and the importer takes it back:
// same paths, same order, awkward names included.
TEST(PlaylistInterchange, ExportReadsBackInOrder)
{
    const QString dir = TestEnvironment::home() + u"/Mus ic"_s;
    QStringList paths;
    for (const char *name : {"Zo, ë #1.mp3", "b.mp3", "a,b.mp3", "Track 01.mp3"})
        paths.append(TestEnvironment::writeFile(dir + u'/' + QString::fromUtf8(name), "x"));
    const MediaList items{record(paths[0], u"Ärtist"_s, u"Song, one"_s, u"3:07"_s),
                          record(paths[1], {}, u"Title"_s, u"1:02:03"_s),
                          record({}, u"no"_s, u"path"_s, {}),
                          record(u"/a\rb"_s, {}, {}, {}),
                          record(paths[2], u"Solo"_s, {}, u"x"_s),
                          record(paths[3], {}, {}, {})};
    const QString out = dir + u"/list.m3u8"_s;
    ASSERT_TRUE(PlaylistInterchange::exportItems(items, out));

    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              QStringLiteral("#EXTM3U\n#EXTINF:187,Ärtist - Song, one\n%1\n#EXTINF:3723,Title\n%2\n"
                             "#EXTINF:-1,Solo\n%3\n#EXTINF:-1,Track 01\n%4\n")
                  .arg(paths[0], paths[1], paths[2], paths[3]));
    EXPECT_EQ(PlaylistInterchange::entriesOfFile(out).valueOr({}).paths, paths);
}

// Entries as other programs write them: relative, URLs, missing files, PLS order,
// a byte order mark with CRLF, Latin-1; and files that are no playlist, which say
// why and create nothing. Importing names the playlist after the file through the
// store's free-name rule and reports the count.
TEST(PlaylistInterchange, ImportResolvesSkipsRefusesAndReportsTheCount)
{
    const QString dir = TestEnvironment::home() + u"/lists"_s;
    const QString a = TestEnvironment::writeFile(dir + u"/sub/a.mp3"_s, "x");
    const QString b = TestEnvironment::writeFile(dir + u"/b é.mp3"_s, "x");
    QDir().mkpath(dir + u"/folder.mp3"_s);
    TestEnvironment::writeFile(dir + u"/http:/host/s.mp3"_s, "x"); // not the URL
    // What a file gives, with dir written as "~": its paths and skip count, or its error.
    const auto outcome = [&dir](const QString& name, const QByteArray& bytes) {
        const auto entries = PlaylistInterchange::entriesOfFile(
            TestEnvironment::writeFile(dir + u'/' + name, bytes));
        if (!entries)
            return entries.failure().texts().join(u'|');
        return entries->paths.join(u'|').replace(dir, u"~"_s) + u" -%1"_s.arg(entries->skipped);
    };
    const struct {
        const char *name;
        QByteArray bytes;
        const char *expected;
    } cases[] = {
        {"one.m3u8",
         "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,x\r\nsub/a.mp3\r\n\r\nhttp://host/s.mp3\r\n"
         "missing.mp3\r\nfolder.mp3\r\n  file://" +
             QFile::encodeName(b).toPercentEncoding("/") + "\r\n",
         "~/sub/a.mp3|~/b é.mp3 -3"},
        {"two.PLS",
         "[playlist]\nFile10=sub/a.mp3\nFile1=b \xC3\xA9.mp3\nTitle1=t\nFile2=" + b.toUtf8() +
             "\n[other]\nFile3=b.mp3\n",
         "~/b é.mp3|~/b é.mp3|~/sub/a.mp3 -0"},
        {"three.m3u", "\xEF\xBB\xBF# latin-1\n./b \xE9.mp3\n../lists/sub/a.mp3\n",
         "~/b é.mp3|~/sub/a.mp3 -0"},
        {"bin.m3u", "a.mp3\n\x01\n", "“bin.m3u” is not a playlist: it holds binary data."},
        {"no.pls", "File1=a.mp3\n",
         "“no.pls” is not a PLS playlist: it has no [playlist] section."},
        {"big.m3u", QByteArray(PlaylistInterchange::kMaxFileBytes + 1, '#'),
         "“big.m3u” is too large to be a playlist."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(QString::fromLatin1(c.name), c.bytes), QString::fromUtf8(c.expected));

    EXPECT_EQ(TestEnvironment::failureTexts(PlaylistInterchange::readImport(dir + u"/no.pls"_s)),
              QStringList{QString::fromUtf8(cases[4].expected)});
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(u"one"_s, {}, true));
    const auto imported =
        PlaylistInterchange::saveImport(*PlaylistInterchange::readImport(dir + u"/one.m3u8"_s));
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->name, u"one1"_s);
    EXPECT_EQ(imported->message,
              u"one1 playlist has been created. 2 songs imported. 3 entries skipped."_s);
    const MediaList saved = PlaylistHelper::contentsForPlaylist(u"one1"_s).valueOr(MediaList());
    ASSERT_EQ(saved.size(), 2);
    EXPECT_TRUE(saved[0]->filePath == a && saved[1]->filePath == b);
}
