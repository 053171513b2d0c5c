// quaver-bench library DIR: reading a music library of 100,000 items, 100,000
// locations, 200 playlists and 300,000 memberships under the media root DIR (made
// there first when DIR holds no library). Prints the best of five reads.
#include "BenchRegistry.h"

#include "itunes/ItunesHelper.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

namespace {

constexpr int kItems = 100000;
constexpr int kContainers = 200;
constexpr int kMemberships = 3; // per item
constexpr int kBases = 20;

// Persistent ids are large 64-bit numbers on a phone.
qint64 pid(int n, qint64 salt)
{
    return (qint64(n) * 2654435761LL + salt) & 0x7fffffffffffffffLL;
}

bool run(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Runs insert once per n with bind(statement, n).
template <typename Bind> bool insertRows(sqlite3 *db, const char *insert, int count, Bind bind)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, insert, -1, &statement, nullptr) != SQLITE_OK)
        return false;
    bool ok = true;
    for (int n = 0; ok && n < count; ++n) {
        bind(statement, n);
        ok = sqlite3_step(statement) == SQLITE_DONE && sqlite3_reset(statement) == SQLITE_OK;
    }
    sqlite3_finalize(statement);
    return ok;
}

void bindText(sqlite3_stmt *statement, int column, const QByteArray& text)
{
    sqlite3_bind_text(statement, column, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

bool makeLibrary(const QString& root)
{
    const QString libraryPath = ItunesHelper::libraryPath(root);
    QDir().mkpath(QFileInfo(libraryPath).absolutePath());
    sqlite3 *library = nullptr;
    sqlite3 *locations = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(libraryPath).constData(), &library) == SQLITE_OK &&
              sqlite3_open(QFile::encodeName(ItunesHelper::locationsPath(root)).constData(),
                           &locations) == SQLITE_OK;
    ok = ok && run(library, "begin;"
                            "create table container(pid integer, name text);"
                            "create table item(pid integer, artist text, title text, album text);"
                            "create table item_to_container(item_pid integer, container_pid "
                            "integer);");
    ok = ok && insertRows(library, "insert into container values (?,?)", kContainers,
                          [](sqlite3_stmt *s, int n) {
                              sqlite3_bind_int64(s, 1, pid(n, 7));
                              bindText(s, 2, QByteArray("Playlist ") + QByteArray::number(n));
                          });
    ok = ok && insertRows(library, "insert into item values (?,?,?,?)", kItems,
                          [](sqlite3_stmt *s, int n) {
                              sqlite3_bind_int64(s, 1, pid(n, 1));
                              bindText(s, 2, "Artist " + QByteArray::number(n / 12));
                              bindText(s, 3, "Song title number " + QByteArray::number(n));
                              bindText(s, 4, "Album " + QByteArray::number(n / 12));
                          });
    ok = ok && insertRows(library, "insert into item_to_container values (?,?)",
                          kItems * kMemberships, [](sqlite3_stmt *s, int n) {
                              const int item = n / kMemberships;
                              sqlite3_bind_int64(s, 1, pid(item, 1));
                              sqlite3_bind_int64(
                                  s, 2, pid((item * 31 + n % kMemberships * 67) % kContainers, 7));
                          });
    ok = ok && run(library, "commit;");
    ok = ok && run(locations, "begin;"
                              "create table location(item_pid integer, location text, "
                              "base_location_id integer);"
                              "create table base_location(id integer, path text);");
    ok = ok && insertRows(locations, "insert into base_location values (?,?)", kBases,
                          [](sqlite3_stmt *s, int n) {
                              sqlite3_bind_int(s, 1, n);
                              bindText(s, 2, "iTunes_Control/Music/F" + QByteArray::number(n));
                          });
    ok = ok && insertRows(locations, "insert into location values (?,?,?)", kItems,
                          [](sqlite3_stmt *s, int n) {
                              sqlite3_bind_int64(s, 1, pid(n, 1));
                              bindText(s, 2, QByteArray::number(n, 36).toUpper() + ".mp3");
                              sqlite3_bind_int(s, 3, n % (kBases + 1)); // one id is missing
                          });
    ok = ok && run(locations, "commit;");
    sqlite3_close(library);
    sqlite3_close(locations);
    return ok;
}

int libraryBench(const QStringList& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quaver-bench library DIR\n");
        return 2;
    }
    const QString root = args.first();
    if (!QFileInfo::exists(ItunesHelper::libraryPath(root)) && !makeLibrary(root)) {
        std::fprintf(stderr, "cannot make a library in %s\n", qPrintable(root));
        return 1;
    }
    qint64 best = -1;
    qsizetype songs = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const ItunesList library = ItunesHelper::iTunesLibrary(root);
        const qint64 ms = timer.elapsed(); // the screen keeps the list: freeing it is not reading
        songs = library.size();
        best = best < 0 ? ms : std::min(best, ms);
    }
    std::printf("library_read_100k: %lld ms\n", static_cast<long long>(best));
    std::printf("library_songs: %lld songs\n", static_cast<long long>(songs));
    return 0;
}

const BenchRegistration registration("library", "DIR", libraryBench);

} // namespace
