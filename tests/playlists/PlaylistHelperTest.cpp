#include "playlists/PlaylistHelper.h"
#include "platform/SystemError.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kNotDone = QStringLiteral("The operation was not successful");

MediaList records(int count)
{
    MediaList list;
    for (int i = 0; i < count; ++i)
        list.append(EngineTest::record(QStringLiteral("/music/%1.mp3").arg(i)));
    return list;
}

QString folder()
{
    return PlaylistHelper::playlistFolder();
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void touch(const QString& name)
{
    TestEnvironment::writeFile(folder() + QLatin1Char('/') + name, "x");
}

QStringList fileNames()
{
    return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

// Before the folder exists the listing says so; afterwards it keeps only ".qv"
// files (lower case) in the file system's order, unsorted.
TEST(PlaylistHelper, ListingKeepsOnlyLowerCaseQvFilesInListingOrder)
{
    EXPECT_EQ(TestEnvironment::failureTexts(PlaylistHelper::availablePlaylists()),
              QStringList{QStringLiteral("You have no playlists")});
    ASSERT_TRUE(PlaylistHelper::createPlaylistFolder());
    EXPECT_EQ(PlaylistHelper::availablePlaylists().value(), QStringList());

    // Created out of name order, so that neither creation order nor its reverse is
    // sorted: a sort shows.
    for (const char *name : {"a.qv", "two.QV", "c.qv", "three.qv.bak", "b.qv", "four.five.qv"})
        touch(QString::fromLatin1(name));
    QDir(folder()).mkdir(QStringLiteral("six"));
    QStringList expected; // the file system's order, read independently
    for (const QString& entry : QDir(folder()).entryList(
             QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted))
        if (entry.endsWith(QLatin1String(".qv")))
            expected.append(entry.chopped(3));
    QStringList names = expected;
    names.sort();
    ASSERT_EQ(names.join(QLatin1Char(' ')), QStringLiteral("a b c four.five"));
    EXPECT_EQ(PlaylistHelper::availablePlaylists().value(), expected);
}

// A new playlist takes the first free numbered name and never touches the taken
// one. An update replaces. Renaming onto a taken name fails; success says nothing. A
// missing or damaged playlist gives nothing, says why, and is left as it was. A name
// that is empty or leaves the folder is refused by every operation, which touches
// nothing.
TEST(PlaylistHelper, CreateRenameDeleteAndReadNeverTouchAnotherPlaylist)
{
    QStringList told;
    for (const auto& [name, count, crateFlag] :
         {std::tuple{"Mix", 3, true}, {"Mix", 1, true}, {"Mix", 5, false}, {"New", 1, false}})
        told.append(PlaylistHelper::createPlaylistWithName(QString::fromLatin1(name),
                                                           records(count), crateFlag)
                        .valueOr({})
                        .message);
    EXPECT_EQ(told, (QStringList{QStringLiteral("Mix playlist was created."),
                                 QStringLiteral("Mix1 playlist has been created."),
                                 QStringLiteral("Mix has been updated."),
                                 QStringLiteral("New has been updated.")}));
    const MediaList mix1 = PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix1")).valueOr({});
    ASSERT_EQ(mix1.size(), 1);
    EXPECT_EQ(mix1.at(0)->filePath, QStringLiteral("/music/0.mp3"));
    EXPECT_EQ(fileNames().join(QLatin1Char(' ')), QStringLiteral("Mix.qv Mix1.qv New.qv"))
        << "no temporary file is left";

    EXPECT_EQ(TestEnvironment::failureTexts(PlaylistHelper::renamePlaylistWithName(
                  QStringLiteral("Mix1"), QStringLiteral("Mix"))),
              QStringList{SystemError::text(EEXIST)});
    EXPECT_EQ(PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix"))->size(), 5);
    EXPECT_TRUE(
        PlaylistHelper::renamePlaylistWithName(QStringLiteral("Mix1"), QStringLiteral("C")));
    EXPECT_TRUE(PlaylistHelper::deletePlaylistWithName(QStringLiteral("New")));
    EXPECT_EQ(fileNames().join(QLatin1Char(' ')), QStringLiteral("C.qv Mix.qv"));

    const QByteArray junk("bplist00 this is not an archive");
    const QString bad =
        TestEnvironment::writeFile(PlaylistHelper::pathForPlaylist(QStringLiteral("Bad")), junk);
    using TestEnvironment::failureTexts;
    EXPECT_EQ(failureTexts(PlaylistHelper::contentsForPlaylist(QStringLiteral("Gone"))) +
                  failureTexts(PlaylistHelper::contentsForPlaylist(QStringLiteral("Bad"))) +
                  failureTexts(PlaylistHelper::deletePlaylistWithName(QStringLiteral("New"))),
              (QStringList{QStringLiteral("GonePlaylist does not exist"), kNotDone, kNotDone}));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);

    // A name cut short at its NUL by the system would be "Mix.qv" itself.
    const QString cutAtNul = QStringLiteral("Mix.qv") + QChar(0);
    const QList<QString> refused = {
        QString(), QStringLiteral(""),           QStringLiteral("."),  QStringLiteral(".."),
        cutAtNul,  QStringLiteral("../escaped"), QStringLiteral("a/b")};
    const MediaList mix = *PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix"));
    QStringList refusals;
    for (const QString& name : refused) {
        refusals << failureTexts(PlaylistHelper::createPlaylistWithName(name, records(1), true))
                 << failureTexts(PlaylistHelper::createPlaylistWithName(name, records(1), false))
                 << failureTexts(PlaylistHelper::renamePlaylistWithName(QStringLiteral("C"), name))
                 << failureTexts(PlaylistHelper::renamePlaylistWithName(name, QStringLiteral("O")))
                 << failureTexts(PlaylistHelper::contentsForPlaylist(name))
                 << failureTexts(PlaylistHelper::deletePlaylistWithName(name));
    }
    EXPECT_EQ(refusals, QStringList(6 * refused.size(),
                                    kNotDone + QStringLiteral(". Please choose another name.")));
    EXPECT_FALSE(QFile::exists(TestEnvironment::home() + QStringLiteral("/escaped.qv")));
    EXPECT_EQ(fileNames().join(QLatin1Char(' ')), QStringLiteral("Bad.qv C.qv Mix.qv"));
    EXPECT_EQ(MediaDesc::archivedDataWithItems(
                  PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix")).valueOr({})),
              MediaDesc::archivedDataWithItems(mix))
        << "the other playlists stay as they were";
}

// A folder that cannot be made and a write that fails are both failures (the system's
// reason first when the folder cannot be made), never "created".
TEST(PlaylistHelper, AFailedFolderOrWriteIsNeverReportedAsSaved)
{
    const QString documents = QFileInfo(folder()).absolutePath();
    // In the way: a file for the documents folder, a file for the playlist folder, a
    // dangling link at the free numbered name.
    const std::tuple<QString, bool, int> cases[] = {
        {documents, true, 2}, {folder(), false, 1}, {QString(), true, 1}};
    for (const auto& [file, crateFlag, alerts] : cases) {
        SCOPED_TRACE(file.toStdString()); // empty: the dangling link
        QDir(documents).removeRecursively();
        QFile::remove(documents);
        if (!file.isEmpty()) {
            TestEnvironment::writeFile(file, "x");
        } else {
            touch(QStringLiteral("Mix.qv"));
            QFile::link(QStringLiteral("/nonexistent"),
                        PlaylistHelper::pathForPlaylist(QStringLiteral("Mix1")));
        }
        const QStringList told = TestEnvironment::failureTexts(
            PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), records(1), crateFlag));
        EXPECT_EQ(told.size(), alerts);
        EXPECT_EQ(told.value(alerts - 1), kNotDone);
    }
}

// A new playlist (written in place) and a numbered one (created beside it) get 0666
// less the umask; the settings file goes through the same in-place writer.
TEST(PlaylistHelper, FilesAreMadeWithTheUsersUmask)
{
    for (const mode_t mask : {mode_t(022), mode_t(077)}) {
        SCOPED_TRACE(mask);
        QDir(folder()).removeRecursively();
        const mode_t old = ::umask(mask);
        EXPECT_TRUE(
            PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), records(1), true));
        EXPECT_TRUE(
            PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), records(1), true));
        ::umask(old);
        for (const QString& name : {QStringLiteral("Mix"), QStringLiteral("Mix1")})
            EXPECT_EQ(modeOf(PlaylistHelper::pathForPlaylist(name)), 0666 & ~mask);
    }
}
