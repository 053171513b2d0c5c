// The player's picture source: embedded cover first, then the folder's image,
// special files skipped without waiting, and only the newest request answered.
#include "app/CoverArt.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Answer {
    QString path;
    QImage picture;
    int count = 0;
};

// The answers of art for the request made by ask, once the newest has come.
Answer answerTo(CoverArt& art, const std::function<void()>& ask)
{
    Answer answer;
    const auto connection = QObject::connect(&art, &CoverArt::pictureReady,
                                             [&](const QString& path, const QImage& picture) {
                                                 answer = {path, picture, answer.count + 1};
                                             });
    ask();
    TestEnvironment::waitUntil([&] { return answer.count > 0; });
    QObject::disconnect(connection);
    return answer;
}

QString tone(const QString& path, const QString& picture = {})
{
    const QString args =
        picture.isEmpty()
            ? QStringLiteral("-f lavfi -i sine=duration=0.2")
            : QStringLiteral("-f lavfi -i sine=duration=0.2 -f lavfi -i color=c=%1:s=400x200:d=0.1 "
                             "-map 0:a -map 1:v -frames:v 1 -id3v2_version 3 -disposition:v "
                             "attached_pic")
                  .arg(picture);
    const QString made = MediaFixtures::cachedOutput(
        QDir(path).dirName() + picture + QStringLiteral(".mp3"), QProcess::splitCommand(args));
    QDir().mkpath(QFileInfo(path).path());
    QFile::copy(made, path);
    return path;
}

} // namespace

TEST(CoverArt, EmbeddedCoverThenTheFoldersImageThenNone)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString home = TestEnvironment::home();
    const QString covered = tone(home + QStringLiteral("/a/covered.mp3"), QStringLiteral("red"));
    const QString plain = tone(home + QStringLiteral("/a/plain.mp3"));
    const QString bare = tone(home + QStringLiteral("/b/bare.mp3"));
    // A FIFO named like a cover must be passed over, not waited on.
    ASSERT_EQ(mkfifo(QFile::encodeName(home + QStringLiteral("/a/cover.jpg")).constData(), 0600),
              0);
    QImage blue(300, 300, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(home + QStringLiteral("/a/Folder.PNG")));

    CoverArt art;
    Answer a = answerTo(art, [&] { art.request(covered, 100); });
    EXPECT_EQ(a.path, covered);
    EXPECT_EQ(a.picture.size(), QSize(100, 50)) << "fitted, aspect kept";
    EXPECT_GT(a.picture.pixelColor(50, 25).red(), 200) << "the embedded cover wins";

    a = answerTo(art, [&] { art.request(plain, 64); });
    EXPECT_EQ(a.picture.size(), QSize(64, 64));
    EXPECT_GT(a.picture.pixelColor(32, 32).blue(), 200) << "the folder's image, any case";

    a = answerTo(art, [&] { art.request(bare, 64); });
    EXPECT_TRUE(a.picture.isNull()) << "nothing to show: the note";

    // Asked again at once, only the newest request is answered.
    QStringList answered;
    QObject::connect(&art, &CoverArt::pictureReady,
                     [&](const QString& path, const QImage&) { answered.append(path); });
    art.request(covered, 80);
    art.request(plain, 40);
    TestEnvironment::waitUntil([] { return false; }, 500);
    EXPECT_EQ(answered, QStringList{plain});
}
