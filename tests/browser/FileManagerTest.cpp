#include "browser/FileManager.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/SystemError.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestEnvironment::kNobody;
const QString kNotDeleted = QStringLiteral("Some of the selected items weren't deleted");

QString at(const QString& relative)
{
    return TestEnvironment::home() + QLatin1Char('/') + relative;
}

QString makeFile(const QString& relative, const QByteArray& bytes = "x")
{
    return TestEnvironment::writeFile(at(relative), bytes);
}

void makeLink(const char *target, const QString& relative)
{
    ASSERT_EQ(::symlink(target, QFile::encodeName(at(relative)).constData()), 0);
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
    // Paths the lists build, and the extensions the playlists go by.
    using FM = FileManager;
    EXPECT_EQ(FM::appendingPathComponent(QStringLiteral("/a/"), QStringLiteral("b")),
              QStringLiteral("/a/b"));
    EXPECT_EQ(FM::appendingPathComponent(QStringLiteral("/"), QStringLiteral("b")),
              QStringLiteral("/b"));
    EXPECT_EQ(FM::pathExtension(QStringLiteral("/a.b/c")), QString());
}

TEST(FileManagerTest, ListingHoldsEveryEntryOnceOrGivesNothingAndOneAlert)
{
    makeFile(QStringLiteral("dir/.hidden"));
    makeFile(QStringLiteral("dir/sub/deep.mp3"));
    makeFile(QStringLiteral("dir/Ünïcode name.m4a"));
    makeLink("nowhere", QStringLiteral("dir/link"));
    QDir().mkpath(at(QStringLiteral("empty")));

    std::optional<QStringList> names =
        FileManager::contentsOfDirectoryAtPath(at(QStringLiteral("dir")));
    ASSERT_TRUE(names.has_value());
    names->sort(); // the file system's order is not ours to check
    EXPECT_EQ(*names, (QStringList{QStringLiteral(".hidden"), QStringLiteral("link"),
                                   QStringLiteral("sub"), QStringLiteral("Ünïcode name.m4a")}));
    EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(at(QStringLiteral("empty/"))), QStringList());
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
    // Links are followed: to a folder it is one, dangling it is nothing.
    makeLink("dir", QStringLiteral("dirLink"));
    EXPECT_TRUE(FileManager::pathIsFolder(at(QStringLiteral("dirLink"))));
    EXPECT_FALSE(FileManager::pathIsFolder(at(QStringLiteral("dir/.hidden"))));
    EXPECT_FALSE(FileManager::fileExistAtPath(at(QStringLiteral("dir/link"))));
    // The typed listing says the same, without being asked about each entry.
    makeLink("sub", QStringLiteral("dir/subLink"));
    QStringList folders;
    const auto entries = FileManager::readDirectory(at(QStringLiteral("dir")));
    for (const auto& entry : entries.value_or(QList<FileManager::DirectoryEntry>()))
        if (entry.isFolder)
            folders.append(entry.name);
    folders.sort();
    EXPECT_EQ(folders, (QStringList{QStringLiteral("sub"), QStringLiteral("subLink")}));

    // Root reads every folder, so only an ordinary user meets the unreadable one.
    const QString locked = at(QStringLiteral("empty"));
    ::chmod(QFile::encodeName(locked).constData(), 0300);
    std::vector<std::pair<QString, int>> failures{{at(QStringLiteral("missing")), ENOENT},
                                                  {makeFile(QStringLiteral("f.mp3")), ENOTDIR}};
    if (::geteuid() != 0)
        failures.emplace_back(locked, EACCES);
    for (const auto& [path, errnum] : failures) {
        EXPECT_FALSE(FileManager::contentsOfDirectoryAtPath(path).has_value());
        EXPECT_EQ(TestEnvironment::takeAlertMessages(), QStringList{SystemError::text(errnum)});
    }
    ::chmod(QFile::encodeName(locked).constData(), 0700);

    // From a worker, the alert still opens on the main thread.
    std::atomic<int> outcome = -1; // 0 nothing, 1 a listing
    Dispatch::globalHigh([&outcome] {
        outcome = FileManager::contentsOfDirectoryAtPath(at(QStringLiteral("missing"))) ? 1 : 0;
    });
    ASSERT_TRUE(TestEnvironment::waitUntil([] { return !Alert::openAlerts().isEmpty(); }));
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(Alert::openAlerts().first()->thread(), QCoreApplication::instance()->thread());
}

TEST(FileManagerTest, BatchDeleteRemovesTreesAndLinksButNotLinkTargets)
{
    makeFile(QStringLiteral("tree/a/b/.hidden"));
    const QString target = makeFile(QStringLiteral("kept/inside.mp3"));
    makeLink("kept", QStringLiteral("link"));
    FileManager::deleteAllObjectsFromCollection(
        {at(QStringLiteral("tree")), at(QStringLiteral("link/"))});
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("tree"))));
    EXPECT_FALSE(QFileInfo(at(QStringLiteral("link"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
}

// "/", "." and ".." are refused before any other check; what a check refuses
// stays; one message says so, however many there were.
TEST(FileManagerTest, RefusedItemsStayAndAreReportedOnce)
{
    const QStringList items{makeFile(QStringLiteral("one.mp3")),
                            makeFile(QStringLiteral("dir/sub/two.mp3")),
                            at(QStringLiteral("dir/sub/..")), at(QStringLiteral("dir/sub/./")),
                            makeFile(QStringLiteral("three.mp3"))};
    FileManager::setDeletableCheckForTesting([&items](const QString& p) { return p != items[1]; });
    EXPECT_FALSE(FileManager::canDeleteFile(QStringLiteral("/")));
    FileManager::deleteAllObjectsFromCollection(items);
    EXPECT_FALSE(QFileInfo::exists(items[0]));
    EXPECT_TRUE(QFileInfo::exists(items[1]));
    EXPECT_FALSE(QFileInfo::exists(items[4]));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(), QStringList{kNotDeleted});
    FileManager::setDeletableCheckForTesting(nullptr);
}

TEST(FileManagerTest, RealCheckFollowsFolderRightsAndTheStickyRule)
{
    const bool root = ::geteuid() == 0;
    ::chmod(QFile::encodeName(TestEnvironment::home()).constData(), 0755);
    const QString locked = makeFile(QStringLiteral("locked/f.mp3"));
    const QString open = makeFile(QStringLiteral("open/f.mp3"));
    const QString theirs = makeFile(QStringLiteral("sticky/theirs.mp3"));
    const QString mine = makeFile(QStringLiteral("sticky/mine.mp3"));
    ::chmod(QFile::encodeName(at(QStringLiteral("locked"))).constData(), 0555);
    ::chmod(QFile::encodeName(at(QStringLiteral("open"))).constData(), 0777);
    ::chmod(QFile::encodeName(at(QStringLiteral("sticky"))).constData(), 01777);
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(mine).constData(), kNobody, kNobody), 0);
    }

    const std::vector<bool> r = TestEnvironment::asOrdinaryUser([&] {
        return std::vector<bool>{
            ::access(QFile::encodeName(open).constData(), F_OK) == 0,
            FileManager::canDeleteFile(locked),
            FileManager::canDeleteFile(open),
            FileManager::canDeleteFile(theirs),
            FileManager::canDeleteFile(mine),
            FileManager::canDeleteFile(at(QStringLiteral("open/missing.mp3")))};
    });
    ::chmod(QFile::encodeName(at(QStringLiteral("locked"))).constData(), 0755);
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
    FileManager::createDirAtPath(at(QStringLiteral("a/b/c")));
    FileManager::createDirAtPath(at(QStringLiteral("a/b/")));
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("a/b/c"))).isDir());
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());

    const QString file = makeFile(QStringLiteral("a/name"), "keep me");
    FileManager::createDirAtPath(file);
    EXPECT_EQ(TestEnvironment::takeAlertMessages(), QStringList{SystemError::text(EEXIST)});
    EXPECT_EQ(QFileInfo(file).size(), 7) << "the file is left alone";
}

} // namespace
