// The paste worker on real folders: what is on disk afterwards, sources included.
#include "browser/PasteJob.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString at(const QString& relative)
{
    return TestEnvironment::home() + QLatin1Char('/') + relative;
}

QString makeFile(const QString& relative, const QByteArray& bytes = "x")
{
    return TestEnvironment::writeFile(at(relative), bytes);
}

QByteArray contents(const QString& relative)
{
    QFile file(at(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool exists(const QString& relative)
{
    struct stat info;
    return ::lstat(QFile::encodeName(at(relative)).constData(), &info) == 0;
}

unsigned modeOf(const QString& relative)
{
    struct stat info;
    return ::lstat(QFile::encodeName(at(relative)).constData(), &info) == 0 ? info.st_mode & 07777
                                                                            : 0;
}

struct SeamReset {
    ~SeamReset()
    {
        PasteJob::setCrossDeviceForTesting(false);
        PasteJob::setChunkHookForTesting(nullptr);
    }
};

// Moves across file systems copy first and remove the source only after the whole
// copy; a link stays a link, permissions and contents are kept, an existing
// destination keeps the source where it was.
TEST(PasteJobTest, MoveAcrossFileSystemsCopiesThenRemovesTheSource)
{
    SeamReset reset;
    PasteJob::setCrossDeviceForTesting(true);
    makeFile(QStringLiteral("src/album/a.mp3"), "aaa");
    ::chmod(QFile::encodeName(makeFile(QStringLiteral("src/album/run.sh"), "#!")).constData(),
            0751);
    ASSERT_EQ(
        ::symlink("a.mp3", QFile::encodeName(at(QStringLiteral("src/album/link"))).constData()), 0);
    makeFile(QStringLiteral("src/taken.mp3"), "new");
    makeFile(QStringLiteral("dst/taken.mp3"), "old");

    PasteJob job(PasteJob::Mode::Move,
                 {at(QStringLiteral("src/album")), at(QStringLiteral("src/taken.mp3"))},
                 at(QStringLiteral("dst")));
    job.run();

    EXPECT_FALSE(exists(QStringLiteral("src/album")));
    EXPECT_EQ(contents(QStringLiteral("dst/album/a.mp3")), "aaa");
    EXPECT_EQ(QFileInfo(at(QStringLiteral("dst/album/link"))).symLinkTarget(),
              at(QStringLiteral("dst/album/a.mp3")));
    EXPECT_EQ(modeOf(QStringLiteral("dst/album/run.sh")), 0751u);
    EXPECT_EQ(contents(QStringLiteral("src/taken.mp3")), "new");
    EXPECT_EQ(contents(QStringLiteral("dst/taken.mp3")), "old");
    EXPECT_EQ(job.bytesDone(), job.bytesTotal());
}

// Cancelled after its first chunk, a paste leaves nothing of its destination and
// every source as it was: a file, a folder, and a move across file systems.
TEST(PasteJobTest, CancelRemovesTheHalfWrittenDestinationOnly)
{
    SeamReset reset;
    const QByteArray big(5 * 1024 * 1024, 'b');
    struct {
        const char *source;
        PasteJob::Mode mode;
    } const cases[] = {{"src/big.wav", PasteJob::Mode::Copy},
                       {"src/folder", PasteJob::Mode::Copy},
                       {"src/folder", PasteJob::Mode::Move}};
    makeFile(QStringLiteral("src/big.wav"), big);
    makeFile(QStringLiteral("src/folder/1.wav"), "small");
    makeFile(QStringLiteral("src/folder/2.wav"), big);
    QDir().mkpath(at(QStringLiteral("dst")));
    PasteJob::setCrossDeviceForTesting(true);
    for (const auto& c : cases) {
        const QString source = at(QString::fromUtf8(c.source));
        PasteJob job(c.mode, {source}, at(QStringLiteral("dst")));
        PasteJob::setChunkHookForTesting([&job] { job.cancel(); });
        job.run();
        EXPECT_TRUE(QDir(at(QStringLiteral("dst"))).isEmpty()) << c.source;
        EXPECT_LT(job.bytesDone(), job.bytesTotal()) << c.source;
    }
    EXPECT_EQ(contents(QStringLiteral("src/big.wav")), big);
    EXPECT_EQ(contents(QStringLiteral("src/folder/1.wav")), "small");
    EXPECT_EQ(contents(QStringLiteral("src/folder/2.wav")), big);
}

// The destination is checked when it is written: one that appears during the paste
// is left as it is, and the items before it are pasted.
TEST(PasteJobTest, DestinationMadeDuringThePasteIsNotOverwritten)
{
    SeamReset reset;
    makeFile(QStringLiteral("src/1.mp3"), QByteArray(3 * 1024 * 1024, '1'));
    makeFile(QStringLiteral("src/2.mp3"), "two");
    QDir().mkpath(at(QStringLiteral("dst")));
    PasteJob::setChunkHookForTesting([] {
        if (!exists(QStringLiteral("dst/2.mp3")))
            TestEnvironment::writeFile(at(QStringLiteral("dst/2.mp3")), "theirs");
    });
    PasteJob job(PasteJob::Mode::Copy,
                 {at(QStringLiteral("src/1.mp3")), at(QStringLiteral("src/2.mp3"))},
                 at(QStringLiteral("dst")));
    job.run();
    EXPECT_EQ(contents(QStringLiteral("dst/1.mp3")).size(), 3 * 1024 * 1024);
    EXPECT_EQ(contents(QStringLiteral("dst/2.mp3")), "theirs");
}

// A folder pasted into itself or one of its subfolders is skipped, copied or moved,
// on one file system or across two.
TEST(PasteJobTest, FolderIntoItselfOrItsSubfolderChangesNothing)
{
    SeamReset reset;
    makeFile(QStringLiteral("f/sub/x.mp3"));
    for (bool crossDevice : {false, true}) {
        PasteJob::setCrossDeviceForTesting(crossDevice);
        for (auto mode : {PasteJob::Mode::Copy, PasteJob::Mode::Move}) {
            for (const char *into : {"f", "f/sub"}) {
                PasteJob job(mode, {at(QStringLiteral("f"))}, at(QString::fromUtf8(into)));
                job.run();
                EXPECT_EQ(job.failedItems(), 0) << "skipped, not tried";
                EXPECT_EQ(QDir(at(QStringLiteral("f")))
                              .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                          QStringList{QStringLiteral("sub")})
                    << into;
                EXPECT_EQ(QDir(at(QStringLiteral("f/sub")))
                              .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                          QStringList{QStringLiteral("x.mp3")})
                    << into;
            }
        }
    }
}

// An ordinary user pasting into a folder they cannot write: nothing arrives there
// and every source stays, whether copied or moved.
TEST(PasteJobTest, UnwritableDestinationLeavesEverySourceIntact)
{
    ::chmod(QFile::encodeName(TestEnvironment::home()).constData(), 0755);
    makeFile(QStringLiteral("open/song.mp3"), "song");
    makeFile(QStringLiteral("open/album/track.mp3"), "track");
    QDir().mkpath(at(QStringLiteral("locked")));
    for (const char *path : {"open", "open/album"})
        ::chmod(QFile::encodeName(at(QString::fromUtf8(path))).constData(), 0777);
    for (const char *path : {"open/song.mp3", "open/album/track.mp3"})
        ::chmod(QFile::encodeName(at(QString::fromUtf8(path))).constData(), 0666);
    ::chmod(QFile::encodeName(at(QStringLiteral("locked"))).constData(), 0555);

    const std::vector<bool> r = TestEnvironment::asOrdinaryUser([] {
        std::vector<bool> failedItems;
        for (int run = 0; run < 3; ++run) {
            PasteJob::setCrossDeviceForTesting(run == 2);
            PasteJob job(run == 0 ? PasteJob::Mode::Copy : PasteJob::Mode::Move,
                         {at(QStringLiteral("open/song.mp3")), at(QStringLiteral("open/album"))},
                         at(QStringLiteral("locked")));
            job.run();
            failedItems.push_back(job.failedItems() == 2);
        }
        return failedItems;
    });
    EXPECT_EQ(r, (std::vector<bool>{true, true, true})) << "copy, move, move across file systems";
    EXPECT_TRUE(QDir(at(QStringLiteral("locked"))).isEmpty());
    EXPECT_EQ(contents(QStringLiteral("open/song.mp3")), "song");
    EXPECT_EQ(contents(QStringLiteral("open/album/track.mp3")), "track");
}

} // namespace
