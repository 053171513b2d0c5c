#pragma once

// Library databases for tests, made with SQLite under a media root.

#include "itunes/ItunesHelper.h"

#include <QByteArray>
#include <QString>

namespace LibraryFixture {

// The tables and columns the reader relies on, with typed columns.
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

} // namespace LibraryFixture
