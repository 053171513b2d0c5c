// The library reader against databases made here: what each record holds, what a
// missing or damaged database leaves out, and that nothing beside the databases is
// ever written or created.
#include "itunes/ItunesHelper.h"
#include "LibraryFixture.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace LibraryFixture;

namespace {

// Characters that a URI must escape, and a space.
QString mediaRoot()
{
    return TestEnvironment::home() + u"/media root #1?%"_s;
}

const QByteArray kItems = "insert into item values (1,'Ann','One','A1'), (2,'Bob','Two',NULL),"
                          " (3,NULL,NULL,NULL), (4,'Ann','Four','A4'), (1,'Ann','Again','A1');";

// Every file under folder, by relative path, with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

std::vector<std::string> describe(const ItunesList& items, const QString& root)
{
    std::vector<std::string> lines;
    for (const ItunesDescPtr& item : items) {
        QStringList fields;
        for (const std::optional<QString>& field :
             {item->pid, item->artist, item->title, item->album, item->filePath, item->locationId,
              item->playlist, item->duration})
            fields.append(field ? *field : u"-"_s);
        if (fields[4].startsWith(root + u'/'))
            fields[4].replace(0, root.size(), u"@"_s);
        lines.push_back(fields.join(u'|').toStdString());
    }
    return lines;
}

} // namespace

// Whole databases: last rows win, a missing container or base location, NULL
// columns, an item without rows, two items with one pid, ids matched by their text.
// Then each step that cannot read its database or table leaves out only what it
// adds. The databases stay byte for byte as they were.
TEST(ItunesHelper, ReadsWhatEachDatabaseHoldsAndNeverWritesIt)
{
    const QByteArray library = kLibraryTables + kItems +
                               "insert into container values (10,'Rock');"
                               "insert into item_to_container values (2,10);";
    const QByteArray locations =
        kLocationsTables + QByteArray("insert into location values (2,'b.mp3',7);"
                                      "insert into base_location values (7,'M');");
    const std::vector<std::string> unlocated{"1|Ann|One|A1|-|-|-|-", "2|Bob|Two|-|-|-|Rock|-",
                                             "3|-|-|-|-|-|-|-", "4|Ann|Four|A4|-|-|-|-",
                                             "1|Ann|Again|A1|-|-|-|-"};
    const QByteArray noise = QByteArray(4096, '\x5a') + "SQLite format 3";
    struct Case {
        const char *name;
        QByteArray library, locations; // empty: no file; noise: random bytes
        std::vector<std::string> expected;
    } cases[] = {
        {"both databases whole",
         kLibraryTables + kItems +
             "insert into container values (10,'Rock'), (11,'Jazz'), (10,'Rock Classics');"
             "insert into item_to_container values (1,10), (1,11), (2,11), (2,99), (4,10);",
         // Untyped columns keep texts as texts: '7' matches 7, '07' does not.
         "create table location(item_pid, location, base_location_id);"
         "create table base_location(id, path);"
         "insert into base_location values (7,'Music/F00/'), (8,NULL);"
         "insert into location values (1,'first.mp3',7), ('1','/a.mp3','7'), (2,'b.mp3','07'),"
         " (4,'d.mp3',8);",
         {"1|Ann|One|A1|@/Music/F00/a.mp3|7|Jazz|-", "2|Bob|Two|-|@/b.mp3|07|-|-",
          "3|-|-|-|-|-|-|-", "4|Ann|Four|A4|@/d.mp3|8|Rock Classics|-",
          "1|Ann|Again|A1|@/Music/F00/a.mp3|7|Jazz|-"}},
        {"no Locations database", library, {}, unlocated},
        {"Locations is not a database", library, noise, unlocated},
        {"location of another shape", library,
         "create table location(item_pid, location); create table base_location(id, path);",
         unlocated},
        {"no base_location table",
         library,
         "create table location(item_pid, location, base_location_id);"
         "insert into location values (2,'b.mp3',7);",
         {unlocated[0], "2|Bob|Two|-|@/b.mp3|7|Rock|-", unlocated[2], unlocated[3], unlocated[4]}},
        {"no item table", "create table container(pid, name);", locations, {}},
        {"item of another shape",
         "create table item(pid, name); insert into item values (1,'x');",
         locations,
         {}},
        {"Library is not a database", noise, locations, {}},
        {"no databases", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString root = mediaRoot() + u'/' + QLatin1String(c.name);
        for (const auto& [path, content] :
             {std::pair{ItunesHelper::libraryPath(root), c.library},
              std::pair{ItunesHelper::locationsPath(root), c.locations}}) {
            if (content == noise)
                TestEnvironment::writeFile(path, noise);
            else if (!content.isEmpty())
                make(path, content);
        }
        const auto before = snapshot(root);
        EXPECT_EQ(describe(ItunesHelper::iTunesLibrary(root), root), c.expected);
        EXPECT_EQ(snapshot(root), before);
    }
}

// A database damaged in its second half gives the items before the damage; one cut
// short gives none. Neither is repaired.
TEST(ItunesHelper, DamagedLibraryIsReadAsFarAsItGoes)
{
    const QString root = mediaRoot();
    QByteArray sql = QByteArray(kLibraryTables) + "begin;";
    for (int i = 0; i < 2000; ++i)
        sql += "insert into item values (" + QByteArray::number(i) + ",'a','" +
               QByteArray(200, 't') + "',NULL);";
    make(ItunesHelper::libraryPath(root), sql + "commit;");
    QFile file(ItunesHelper::libraryPath(root));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 half = file.size() / 2;
    file.seek(half);
    file.write(QByteArray(half, '\0'));
    file.close();
    auto before = snapshot(root);
    const ItunesList items = ItunesHelper::iTunesLibrary(root);
    ASSERT_GT(items.size(), 0);
    EXPECT_LT(items.size(), 2000);
    EXPECT_EQ(items.last()->pid, QString::number(items.size() - 1));
    EXPECT_EQ(snapshot(root), before);

    ASSERT_TRUE(file.resize(half));
    before = snapshot(root);
    EXPECT_TRUE(ItunesHelper::iTunesLibrary(root).isEmpty());
    EXPECT_EQ(snapshot(root), before);
}

// WAL databases: without a -wal, and with a -wal but no -shm (a reader would have
// to make it), in a writable folder and in one an ordinary user cannot write.
TEST(ItunesHelper, WalDatabasesAreReadWithoutCreatingFiles)
{
    for (const bool keepLog : {false, true}) {
        SCOPED_TRACE(keepLog ? "with -wal" : "without -wal");
        const QString root = mediaRoot() + (keepLog ? u"/log"_s : u"/none"_s);
        const QString path = ItunesHelper::libraryPath(root);
        make(path, kLibraryTables + kItems, true);
        QFile::remove(path + u"-shm"_s);
        if (!keepLog)
            QFile::remove(path + u"-wal"_s);
        ASSERT_EQ(QFileInfo::exists(path + u"-wal"_s), keepLog);
        const auto before = snapshot(root);
        EXPECT_EQ(ItunesHelper::iTunesLibrary(root).size(), 5);
        EXPECT_EQ(snapshot(root), before);

        const QString folder = QFileInfo(path).absolutePath();
        ::chmod(QFile::encodeName(TestEnvironment::home()).constData(), 0755);
        ::chmod(QFile::encodeName(folder).constData(), 0555);
        const std::vector<bool> asUser = TestEnvironment::asOrdinaryUser(
            [&] { return std::vector<bool>{ItunesHelper::iTunesLibrary(root).size() == 5}; });
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        EXPECT_EQ(asUser, std::vector<bool>{true});
        EXPECT_EQ(snapshot(root), before);
    }
}
