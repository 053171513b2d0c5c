#include "itunes/ItunesHelper.h"

#include "platform/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>
#include <algorithm>
#include <sqlite3.h>
#include <vector>

namespace {

const QString kLibraryFolder = QStringLiteral("iTunes_Control/iTunes/iTunes Library.itlp");

// An id as the reader matches it: by its text. An integer, or a text that is an
// integer's own decimal form, is kept as that number, which matches the same text
// and hashes fast; any other text is kept as its bytes.
struct Id {
    enum Kind : uint8_t { Null, Number, Text } kind = Null;
    qint64 number = 0;
    QByteArray text;
};

// The number whose decimal form text is exactly, if there is one.
std::optional<qint64> canonicalNumber(const QByteArray& text)
{
    const bool negative = text.startsWith('-');
    const QByteArray digits = text.mid(negative ? 1 : 0);
    if (digits.isEmpty() || digits.size() > 19 ||
        (digits[0] == '0' && (digits.size() > 1 || negative)) ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(number) : std::nullopt;
}

template <typename V> class IdMap {
public:
    // The value under id, made empty when new; null for a NULL id.
    V *insert(const Id& id)
    {
        switch (id.kind) {
        case Id::Number:
            return &m_numbers[id.number];
        case Id::Text:
            return &m_texts[id.text];
        case Id::Null:
            break;
        }
        return nullptr;
    }
    const V *find(const Id& id) const
    {
        if (id.kind == Id::Number) {
            const auto it = m_numbers.constFind(id.number);
            return it == m_numbers.cend() ? nullptr : &*it;
        }
        if (id.kind == Id::Text) {
            const auto it = m_texts.constFind(id.text);
            return it == m_texts.cend() ? nullptr : &*it;
        }
        return nullptr;
    }

private:
    QHash<qint64, V> m_numbers;
    QHash<QByteArray, V> m_texts;
};

// A statement prepared on its own read-only connection; both go with it.
class ReadOnlyStatement {
public:
    ReadOnlyStatement(const QString& path, const char *sql);
    ~ReadOnlyStatement() { release(); }
    ReadOnlyStatement(const ReadOnlyStatement&) = delete;
    ReadOnlyStatement& operator=(const ReadOnlyStatement&) = delete;

    bool isPrepared() const { return m_statement != nullptr; }
    bool next() { return sqlite3_step(m_statement) == SQLITE_ROW; }
    // The column as an id; read it before text() of the same column.
    Id id(int column) const;
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
    QFile file;
    if (!RegularFile::open(file, path))
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

Id ReadOnlyStatement::id(int column) const
{
    Id id;
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        return id;
    case SQLITE_INTEGER:
        id.kind = Id::Number;
        id.number = sqlite3_column_int64(m_statement, column);
        return id;
    default:
        break;
    }
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    if (!bytes)
        return id;
    id.text = QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
    if (const std::optional<qint64> number = canonicalNumber(id.text)) {
        id.kind = Id::Number;
        id.number = *number;
        id.text.clear();
    } else {
        id.kind = Id::Text;
    }
    return id;
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
    if (!RegularFile::exists(path))
        return SQLITE_CANTOPEN;
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

// Records by pid: the last record added with each pid, and the one before it with
// the same pid (-1 ends the chain).
class PidIndex {
public:
    void add(const Id& pid, int record)
    {
        m_previous.push_back(-1);
        if (int *last = m_last.insert(pid)) {
            m_previous.back() = *last - 1;
            *last = record + 1; // 0: new
        }
    }
    template <typename F> void forEach(const Id& pid, F&& f) const
    {
        const int *last = m_last.find(pid);
        for (int i = last ? *last - 1 : -1; i >= 0; i = m_previous[size_t(i)])
            f(i);
    }

private:
    IdMap<int> m_last; // record + 1
    std::vector<int> m_previous;
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
    for (const QString& part : parts)
        joined = joinPath(joined, part);
    return joined;
}

QString ItunesHelper::joinPath(const QString& head, const QString& tail)
{
    if (head.isEmpty() || tail.isEmpty())
        return head.isEmpty() ? tail : head;
    qsizetype end = head.size();
    while (end > 0 && head[end - 1] == QLatin1Char('/'))
        --end;
    qsizetype start = 0;
    while (start < tail.size() && tail[start] == QLatin1Char('/'))
        ++start;
    QString joined;
    joined.reserve(end + 1 + tail.size() - start);
    joined.append(QStringView(head).first(end))
        .append(QLatin1Char('/'))
        .append(QStringView(tail).sliced(start));
    return joined;
}

ItunesList ItunesHelper::iTunesLibrary(const QString& mediaRoot)
{
    const QString root = QFileInfo(mediaRoot).absoluteFilePath();
    const QString library = libraryPath(root);
    const QString locations = locationsPath(root);

    IdMap<std::optional<QString>> containers;
    {
        ReadOnlyStatement rows(library, "select pid, name from container");
        while (rows.isPrepared() && rows.next())
            if (std::optional<QString> *name = containers.insert(rows.id(0)))
                *name = rows.text(1);
    }

    // Records stay in one block: few allocations, and one for the whole list.
    std::vector<ItunesDesc> records;
    PidIndex byPid;
    {
        ReadOnlyStatement rows(library, "select pid,artist,title,album from item");
        while (rows.isPrepared() && rows.next()) {
            byPid.add(rows.id(0), int(records.size()));
            ItunesDesc& item = records.emplace_back();
            item.artist = rows.text(1);
            item.title = rows.text(2);
            item.pid = rows.text(0);
            item.album = rows.text(3);
        }
    }
    if (records.empty())
        return {};

    std::vector<Id> baseIds(records.size());
    {
        ReadOnlyStatement rows(locations,
                               "select item_pid,location, base_location_id from location");
        while (rows.isPrepared() && rows.next()) {
            const Id pid = rows.id(0);
            const Id base = rows.id(2);
            byPid.forEach(pid, [&](int i) {
                records[size_t(i)].filePath = rows.text(1);
                records[size_t(i)].locationId = rows.text(2);
                baseIds[size_t(i)] = base;
            });
        }
    }

    // Without a readable base_location every location falls back to the media
    // root, like one whose base is missing: a path handed on is always absolute.
    IdMap<QString> bases; // id -> root / path
    {
        ReadOnlyStatement rows(locations, "select id,path from base_location");
        while (rows.isPrepared() && rows.next())
            if (QString *path = bases.insert(rows.id(0)))
                *path = joinPath(root, rows.text(1).value_or(QString()));
    }
    for (size_t i = 0; i < records.size(); ++i) {
        ItunesDesc& item = records[i];
        if (!item.filePath)
            continue;
        const QString *base = bases.find(baseIds[i]);
        item.filePath = joinPath(base ? *base : root, *item.filePath);
    }

    {
        ReadOnlyStatement rows(library, "select item_pid,container_pid from item_to_container");
        while (rows.isPrepared() && rows.next()) {
            const Id pid = rows.id(0);
            const std::optional<QString> *name = containers.find(rows.id(1));
            byPid.forEach(pid, [&](int i) {
                records[size_t(i)].playlist = name ? *name : std::optional<QString>();
            });
        }
    }

    const auto block = std::make_shared<std::vector<ItunesDesc>>(std::move(records));
    ItunesList items;
    items.reserve(qsizetype(block->size()));
    for (ItunesDesc& item : *block)
        items.append(ItunesDescPtr(block, &item));
    return items;
}
