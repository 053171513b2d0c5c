#include "itunes/ItunesHelper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>
#include <sqlite3.h>
#include <vector>

namespace {

const QString kLibraryFolder = QStringLiteral("iTunes_Control/iTunes/iTunes Library.itlp");

// A statement prepared on its own read-only connection; both go with it.
class ReadOnlyStatement {
public:
    ReadOnlyStatement(const QString& path, const char *sql);
    ~ReadOnlyStatement() { release(); }
    ReadOnlyStatement(const ReadOnlyStatement&) = delete;
    ReadOnlyStatement& operator=(const ReadOnlyStatement&) = delete;

    bool isPrepared() const { return m_statement != nullptr; }
    bool next() { return sqlite3_step(m_statement) == SQLITE_ROW; }
    std::optional<QString> text(int column) const
    {
        const auto *bytes = sqlite3_column_text(m_statement, column);
        if (!bytes)
            return std::nullopt;
        return QString::fromUtf8(reinterpret_cast<const char *>(bytes),
                                 sqlite3_column_bytes(m_statement, column));
    }

private:
    int prepare(const QString& path, const char *sql, bool immutable);
    void release();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
};

// A reader of a WAL database makes its -wal file, even a read-only one, unless
// the file is opened as immutable. Without a -wal everything is in the main file.
bool walWithoutLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && header.startsWith(QByteArrayLiteral("SQLite format 3\0")) &&
           (header[18] == 2 || header[19] == 2) &&
           !QFileInfo::exists(path + QStringLiteral("-wal"));
}

// The failures of a read-only reader that cannot make or map the -shm file.
bool lacksSharedMemory(int extendedCode)
{
    return (extendedCode & 0xff) == SQLITE_CANTOPEN || extendedCode == SQLITE_READONLY_CANTINIT ||
           extendedCode == SQLITE_READONLY_RECOVERY || extendedCode == SQLITE_READONLY_CANTLOCK;
}

ReadOnlyStatement::ReadOnlyStatement(const QString& path, const char *sql)
{
    if (!QFileInfo(path).isFile())
        return;
    const bool immutable = walWithoutLog(path);
    const int code = prepare(path, sql, immutable);
    if (code != SQLITE_OK && !immutable && lacksSharedMemory(code))
        prepare(path, sql, true);
}

int ReadOnlyStatement::prepare(const QString& path, const char *sql, bool immutable)
{
    release();
    // readonly_shm: a -shm that exists is mapped read-only, and a missing one is
    // not created.
    const QByteArray uri = QByteArrayLiteral("file://") + QUrl::toPercentEncoding(path, "/") +
                           (immutable ? QByteArrayLiteral("?mode=ro&immutable=1")
                                      : QByteArrayLiteral("?mode=ro&readonly_shm=1"));
    int code =
        sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (code == SQLITE_OK)
        code = sqlite3_prepare_v2(m_db, sql, -1, &m_statement, nullptr);
    if (code != SQLITE_OK) {
        code = m_db ? sqlite3_extended_errcode(m_db) : code;
        release();
    }
    return code;
}

void ReadOnlyStatement::release()
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    sqlite3_close(m_db);
    m_db = nullptr;
}

// Records by pid: the first record of each pid, and the next one with the same
// pid (-1 ends the chain).
class PidIndex {
public:
    explicit PidIndex(const ItunesList& items) : m_next(size_t(items.size()), -1)
    {
        m_first.reserve(items.size());
        for (int i = int(items.size()) - 1; i >= 0; --i) {
            if (!items[i]->pid)
                continue;
            auto first = m_first.find(*items[i]->pid);
            if (first == m_first.end())
                first = m_first.insert(*items[i]->pid, -1);
            m_next[size_t(i)] = *first;
            *first = i;
        }
    }
    template <typename F>
    void forEach(const ItunesList& items, const std::optional<QString>& pid, F&& f) const
    {
        if (!pid)
            return;
        for (int i = m_first.value(*pid, -1); i >= 0; i = m_next[size_t(i)])
            f(*items[i]);
    }

private:
    QHash<QString, int> m_first;
    std::vector<int> m_next;
};

} // namespace

QString ItunesHelper::libraryPath(const QString& mediaRoot)
{
    return joinPath({mediaRoot, kLibraryFolder, QStringLiteral("Library.itdb")});
}

QString ItunesHelper::locationsPath(const QString& mediaRoot)
{
    return joinPath({mediaRoot, kLibraryFolder, QStringLiteral("Locations.itdb")});
}

QString ItunesHelper::joinPath(const QStringList& parts)
{
    QString joined;
    for (const QString& part : parts) {
        if (part.isEmpty())
            continue;
        if (joined.isEmpty()) {
            joined = part;
            continue;
        }
        while (joined.endsWith(QLatin1Char('/')))
            joined.chop(1);
        qsizetype start = 0;
        while (start < part.size() && part[start] == QLatin1Char('/'))
            ++start;
        joined += QLatin1Char('/') + part.mid(start);
    }
    return joined;
}

ItunesList ItunesHelper::iTunesLibrary(const QString& mediaRoot)
{
    const QString root = QFileInfo(mediaRoot).absoluteFilePath();
    const QString library = libraryPath(root);
    const QString locations = locationsPath(root);

    QHash<QString, std::optional<QString>> containers;
    {
        ReadOnlyStatement rows(library, "select pid, name from container");
        while (rows.isPrepared() && rows.next())
            if (const std::optional<QString> pid = rows.text(0))
                containers.insert(*pid, rows.text(1));
    }

    ItunesList items;
    {
        ReadOnlyStatement rows(library, "select pid,artist,title,album from item");
        while (rows.isPrepared() && rows.next()) {
            auto item = std::make_shared<ItunesDesc>();
            item->artist = rows.text(1);
            item->title = rows.text(2);
            item->pid = rows.text(0);
            item->album = rows.text(3);
            items.append(std::move(item));
        }
    }
    if (items.isEmpty())
        return items;
    const PidIndex byPid(items);

    {
        ReadOnlyStatement rows(locations,
                               "select item_pid,location, base_location_id from location");
        while (rows.isPrepared() && rows.next()) {
            const std::optional<QString> location = rows.text(1);
            const std::optional<QString> base = rows.text(2);
            byPid.forEach(items, rows.text(0), [&](ItunesDesc& item) {
                item.filePath = location;
                item.locationId = base;
            });
        }
    }

    // Without a readable base_location every location falls back to the media
    // root, like one whose base is missing: a path handed on is always absolute.
    QHash<QString, std::optional<QString>> bases;
    {
        ReadOnlyStatement rows(locations, "select id,path from base_location");
        while (rows.isPrepared() && rows.next())
            if (const std::optional<QString> id = rows.text(0))
                bases.insert(*id, rows.text(1));
    }
    for (const ItunesDescPtr& item : items) {
        if (!item->filePath)
            continue;
        const auto base = item->locationId ? bases.constFind(*item->locationId) : bases.cend();
        const QString basePath = base != bases.cend() ? base->value_or(QString()) : QString();
        item->filePath = joinPath({root, basePath, *item->filePath});
    }

    {
        ReadOnlyStatement rows(library, "select item_pid,container_pid from item_to_container");
        while (rows.isPrepared() && rows.next()) {
            const std::optional<QString> container = rows.text(1);
            std::optional<QString> name;
            if (container)
                name = containers.value(*container);
            byPid.forEach(items, rows.text(0), [&](ItunesDesc& item) { item.playlist = name; });
        }
    }
    return items;
}
