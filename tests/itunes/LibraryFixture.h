#pragma once

// Library databases for tests, made with SQLite under a media root.

#include "itunes/ItunesHelper.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <string>
#include <vector>

namespace LibraryFixture {

// The tables the reader relies on, with the types a phone gives them.
constexpr const char *kLibraryTables =
    "create table container(pid integer, name text);"
    "create table item(pid integer, artist text, title text, album text);"
    "create table item_to_container(item_pid integer, container_pid integer);";
constexpr const char *kLocationsTables =
    "create table location(item_pid integer, location text, base_location_id integer);"
    "create table base_location(id integer, path text);";

// Runs sql on a new database at path (its folder is made); wal keeps it in WAL
// mode with its -wal and -shm files left beside it.
void make(const QString& path, const QByteArray& sql, bool wal = false);

// Every file under folder, by relative path, with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder);

// One line per record: pid|artist|title|album|filePath|locationId|playlist|duration,
// "-" for an absent field and "@" for root at the start of a path.
std::vector<std::string> describe(const ItunesList& items, const QString& root);

} // namespace LibraryFixture
