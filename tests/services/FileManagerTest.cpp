#include "services/FileManager.h"
#include "platform/SystemError.h"
#include "services/FolderListing.h"
#include "support/FileOpsTestSupport.h"

#include <QFileInfo>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using namespace FileOps;
using TestEnvironment::kNobody;
const QString kNotDeleted = u"Some of the selected items weren't deleted"_s;

void makeLink(const char *target, const char *relative)
{
    ASSERT_EQ(::symlink(target, native(relative).constData()), 0);
}

TEST(FileManagerTest, NamesDecideSupportVideoAndComponentsWhateverTheSlashes)
{
    // A hidden ".mp3" has no extension: the dot leads its name.
    struct {
        const char *path;
        bool supported, video;
    } const names[] = {{"/m/track.MP3", true, false},    {"/m/.hidden.mp3", true, false},
                       {"/m/Album.mp3/", true, false},   {"/m/clip.m4v", true, false},
                       {"/m/clip.MoV", true, true},      {"clip.3gp", true, true},
                       {"/m/.mp3", false, false},        {"/m/track.", false, false},
                       {"track.mp3.part", false, false}, {"/m/Album.mp3/notes", false, false}};
    for (const auto& n : names) {
        EXPECT_EQ(FileManager::fileIsSupported(QString::fromUtf8(n.path)), n.supported) << n.path;
        EXPECT_EQ(FileManager::isVideoFile(QString::fromUtf8(n.path)), n.video) << n.path;
    }
    // The formats FFmpeg reads that Linux users keep.
    for (const char *ext : {"flac", "ogg", "oga", "opus", "wv", "ape", "mka", "wma", "dsf"})
        EXPECT_TRUE(FileManager::fileIsSupported(u"/m/a."_s + s(ext)) &&
                    !FileManager::isVideoFile(u"/m/a."_s + s(ext)))
            << ext;
    for (const char *ext : {"MKV", "webm", "avi"})
        EXPECT_TRUE(FileManager::isVideoFile(s(ext).prepend(u"a."_s)) &&
                    FileManager::fileIsSupported(s(ext).prepend(u"a."_s)))
            << ext;
    // Paths the lists build, and the extensions the playlists go by.
    using FM = FileManager;
    EXPECT_EQ(FM::appendingPathComponent(u"/a/"_s, u"b"_s), u"/a/b"_s);
    EXPECT_EQ(FM::appendingPathComponent(u"/"_s, u"b"_s), u"/b"_s);
    EXPECT_EQ(FM::pathExtension(u"/a.b/c"_s), QString());
}

TEST(FileManagerTest, ListingHoldsEveryEntryOnceOrFailsWithTheReason)
{
    write(u"dir/.hidden"_s);
    write(u"dir/sub/deep.mp3"_s);
    write(u"dir/Ünïcode name.m4a"_s);
    makeLink("nowhere", "dir/link");
    QDir().mkpath(at("empty"));

    QStringList names = FileManager::contentsOfDirectoryAtPath(at("dir")).valueOr({});
    names.sort(); // the file system's order is not ours to check
    EXPECT_EQ(names, (QStringList{u".hidden"_s, u"link"_s, u"sub"_s, u"Ünïcode name.m4a"_s}));
    EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(at("empty/")).value(), QStringList());
    // Links are followed: to a folder it is one, dangling it is nothing.
    makeLink("dir", "dirLink");
    EXPECT_TRUE(FileManager::pathIsFolder(at("dirLink")));
    EXPECT_FALSE(FileManager::fileExistAtPath(at("dir/link")));
    // The typed listing says the same, without being asked about each entry.
    makeLink("sub", "dir/subLink");
    QStringList folders;
    const auto entries = FileManager::readDirectory(at("dir"));
    for (const auto& entry : entries.valueOr({}))
        if (entry.isFolder)
            folders.append(entry.name);
    folders.sort();
    EXPECT_EQ(folders, (QStringList{u"sub"_s, u"subLink"_s}));

    // Root reads every folder, so only an ordinary user meets the unreadable one.
    const QString locked = at("empty");
    ::chmod(native("empty").constData(), 0300);
    std::vector<std::pair<QString, int>> failures{{at("missing"), ENOENT},
                                                  {write(u"f.mp3"_s), ENOTDIR}};
    if (::geteuid() != 0)
        failures.emplace_back(locked, EACCES);
    for (const auto& [path, errnum] : failures)
        EXPECT_EQ(TestEnvironment::failureOf(FileManager::contentsOfDirectoryAtPath(path)),
                  Failure(SystemError::text(errnum), u"Error !!!"_s));
    ::chmod(native("empty").constData(), 0700);
}

// Folders first, then names by their numbers' values and ignoring case, whatever
// order the entries were made in; adding the folder queues its playable files in
// that order, without its folders.
TEST(FileManagerTest, ListingAndAddedFolderGoInNaturalOrderFoldersFirst)
{
    const QStringList sorted{u"sub 9"_s, u"Sub 10"_s, u"2 two.flac"_s, u"10 ten.mp3"_s,
                             u"a.ogg"_s, u"B.mp3"_s,  u"b.txt"_s};
    for (const qsizetype i : {4, 0, 6, 2, 5, 1, 3}) // neither sorted nor reversed
        write(u"al/"_s + sorted[i] + (i < 2 ? u"/x.mp3"_s : QString()));
    const auto listing = FolderListing::read(at("al"));
    ASSERT_TRUE(listing);
    QStringList names, playable;
    for (const auto& entry : listing->entries()) {
        names.append(entry.name);
        if (!entry.isFolder && FileManager::fileIsSupported(entry.name))
            playable.append(at("al/") + entry.name);
    }
    EXPECT_EQ(names, sorted);
    EXPECT_EQ(FolderListing::expandForPlaying({at("al")}), playable);
}

// Trees go whole, a link goes but not what it points to; "/", "." and ".." are
// refused before any other check; what a check refuses stays; one message says so,
// however many there were.
TEST(FileManagerTest, BatchDeleteRemovesTreesAndLinksAndReportsRefusalsOnce)
{
    write(u"tree/a/b/.hidden"_s);
    const QString target = write(u"kept/inside.mp3"_s);
    makeLink("kept", "link");
    const QStringList items{write(u"one.mp3"_s), write(u"dir/sub/two.mp3"_s),
                            at("dir/sub/.."),    at("dir/sub/./"),
                            at("tree"),          at("link/")};
    FileManager::setDeletableCheckForTesting([&items](const QString& p) { return p != items[1]; });
    EXPECT_FALSE(FileManager::canDeleteFile(u"/"_s));
    const Result<void> deleted = FileManager::deleteAllObjectsFromCollection(items);
    FileManager::setDeletableCheckForTesting(nullptr);
    EXPECT_EQ(ls(), (QStringList{u"dir"_s, u"kept"_s}));
    EXPECT_EQ(ls(u"dir/sub"_s), QStringList{u"two.mp3"_s});
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(TestEnvironment::failureTexts(deleted), QStringList{kNotDeleted});
}

TEST(FileManagerTest, RealCheckFollowsFolderRightsAndTheStickyRule)
{
    const bool root = ::geteuid() == 0;
    ::chmod(QFile::encodeName(TestEnvironment::home()).constData(), 0755);
    const QString locked = write(u"locked/f.mp3"_s);
    const QString open = write(u"open/f.mp3"_s);
    const QString theirs = write(u"sticky/theirs.mp3"_s);
    const QString mine = write(u"sticky/mine.mp3"_s);
    for (auto [folder, mode] : {std::pair{"locked", 0555}, {"open", 0777}, {"sticky", 01777}})
        ::chmod(native(folder).constData(), mode_t(mode));
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(mine).constData(), kNobody, kNobody), 0);
    }

    const std::vector<bool> r = TestEnvironment::asOrdinaryUser([&] {
        return std::vector<bool>{::access(QFile::encodeName(open).constData(), F_OK) == 0,
                                 FileManager::canDeleteFile(locked),
                                 FileManager::canDeleteFile(open),
                                 FileManager::canDeleteFile(theirs),
                                 FileManager::canDeleteFile(mine),
                                 FileManager::canDeleteFile(at("open/missing.mp3"))};
    });
    ::chmod(native("locked").constData(), 0755);
    ASSERT_EQ(r.size(), 6u);
    if (!r[0])
        GTEST_SKIP() << "the temporary folder is not reachable for an ordinary user";
    // Only root can give "mine" to nobody and so leave "theirs" someone else's.
    EXPECT_EQ(r, (std::vector<bool>{true, false, true, !root, true, false}))
        << "reachable; in a locked folder; in an open folder; theirs and mine in a sticky "
           "folder; missing";
}

TEST(FileManagerTest, CreateDirMakesNestedFoldersAndReportsWhatBlocksIt)
{
    EXPECT_TRUE(FileManager::createDirAtPath(at("a/b/c")));
    EXPECT_TRUE(FileManager::createDirAtPath(at("a/b/")));
    EXPECT_TRUE(QFileInfo(at("a/b/c")).isDir());

    const QString file = write(u"a/name"_s, "keep me");
    EXPECT_EQ(TestEnvironment::failureTexts(FileManager::createDirAtPath(file)),
              QStringList{SystemError::text(EEXIST)});
    EXPECT_EQ(QFileInfo(file).size(), 7) << "the file is left alone";
}

} // namespace
