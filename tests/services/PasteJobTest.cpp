// The paste worker on real folders: what is on disk afterwards, sources included.
#include "services/PasteJob.h"
#include "support/FileOpsTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace FileOps;
using Mode = PasteJob::Mode;

struct SeamReset {
    ~SeamReset()
    {
        PasteJob::setCrossDeviceForTesting(false);
        PasteJob::setChunkHookForTesting(nullptr);
    }
};

// Across file systems a move is a copy (links as links, permissions kept), then the
// source's removal. A destination that appears during the paste is not written
// over, and its source stays.
TEST(PasteJobTest, MoveAcrossFileSystemsCopiesThenRemovesTheSource)
{
    SeamReset reset;
    PasteJob::setCrossDeviceForTesting(true);
    write(s("src/album/a.mp3"), "aaa");
    write(s("src/album/run.sh"), "#!");
    ::chmod(native("src/album/run.sh").constData(), 0751);
    ASSERT_EQ(::symlink("a.mp3", native("src/album/link").constData()), 0);
    write(s("src/taken.mp3"), "new");
    QDir().mkpath(at("dst"));
    PasteJob::setChunkHookForTesting([] {
        if (!QFile::exists(at("dst/taken.mp3")))
            write(s("dst/taken.mp3"), "theirs");
    });
    PasteJob(Mode::Move, {at("src/album"), at("src/taken.mp3")}, at("dst")).run();

    EXPECT_EQ(ls(s("src")), QStringList{s("taken.mp3")});
    EXPECT_EQ(contents(s("dst/album/a.mp3")), "aaa");
    EXPECT_EQ(QFile::symLinkTarget(at("dst/album/link")), at("dst/album/a.mp3"));
    struct stat info;
    EXPECT_TRUE(::stat(native("dst/album/run.sh").constData(), &info) == 0 &&
                (info.st_mode & 07777) == 0751);
    EXPECT_EQ(contents(s("src/taken.mp3")), "new");
    EXPECT_EQ(contents(s("dst/taken.mp3")), "theirs");
}

// Cancelled after its first chunk, a paste leaves nothing of its destination and
// every source as it was: a folder copied, and one moved across file systems (a
// single file is cancelled through the progress dialog in BrowserActionsTest).
TEST(PasteJobTest, CancelRemovesTheHalfWrittenDestinationOnly)
{
    SeamReset reset;
    const QByteArray big(5 << 20, 'b');
    write(s("src/folder/1.wav"), "small");
    write(s("src/folder/2.wav"), big);
    QDir().mkpath(at("dst"));
    PasteJob::setCrossDeviceForTesting(true);
    for (Mode mode : {Mode::Copy, Mode::Move}) {
        PasteJob job(mode, {at("src/folder")}, at("dst"));
        PasteJob::setChunkHookForTesting([&job] { job.cancel(); });
        job.run();
        EXPECT_TRUE(ls(s("dst")).isEmpty()) << int(mode);
    }
    EXPECT_EQ(contents(s("src/folder/1.wav")), "small");
    EXPECT_EQ(contents(s("src/folder/2.wav")), big);
}

// A folder pasted into itself or one of its subfolders is skipped without being
// tried, copied or moved, on one file system or across two.
TEST(PasteJobTest, FolderIntoItselfOrItsSubfolderChangesNothing)
{
    SeamReset reset;
    write(s("f/sub/x.mp3"), "x");
    for (bool crossDevice : {false, true}) {
        PasteJob::setCrossDeviceForTesting(crossDevice);
        for (Mode mode : {Mode::Copy, Mode::Move}) {
            for (const char *into : {"f", "f/sub"}) {
                PasteJob job(mode, {at("f")}, at(into));
                job.run();
                EXPECT_EQ(job.failedItems(), 0) << into;
            }
        }
    }
    EXPECT_EQ(ls(s("f")), QStringList{s("sub")});
    EXPECT_EQ(ls(s("f/sub")), QStringList{s("x.mp3")});
}

// An ordinary user pasting into a folder they cannot write: nothing arrives, both
// items fail, and every source stays, whether copied or moved.
TEST(PasteJobTest, UnwritableDestinationLeavesEverySourceIntact)
{
    SeamReset reset;
    write(s("open/song.mp3"), "song");
    write(s("open/album/track.mp3"), "track");
    QDir().mkpath(at("locked"));
    for (auto [path, mode] : {std::pair{"..", 0755},
                              {".", 0755},
                              {"open", 0777},
                              {"open/album", 0777},
                              {"locked", 0555}})
        ::chmod(native(path).constData(), mode_t(mode));

    const std::vector<bool> r = TestEnvironment::asOrdinaryUser([] {
        std::vector<bool> failedBoth;
        for (int run = 0; run < 3; ++run) {
            PasteJob::setCrossDeviceForTesting(run == 2);
            PasteJob job(run == 0 ? Mode::Copy : Mode::Move,
                         {at("open/song.mp3"), at("open/album")}, at("locked"));
            job.run();
            failedBoth.push_back(job.failedItems() == 2);
        }
        return failedBoth;
    });
    EXPECT_EQ(r, (std::vector<bool>{true, true, true})) << "copy, move, move across file systems";
    EXPECT_TRUE(ls(s("locked")).isEmpty());
    EXPECT_EQ(contents(s("open/song.mp3")), "song");
    EXPECT_EQ(contents(s("open/album/track.mp3")), "track");
}

} // namespace
