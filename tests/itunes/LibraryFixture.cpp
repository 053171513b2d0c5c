#include "LibraryFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace LibraryFixture {

void make(const QString& path, const QByteArray& sql, bool wal)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    if (wal) {
        int keep = 1;
        sqlite3_exec(db, "pragma journal_mode=wal", nullptr, nullptr, nullptr);
        sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    }
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error), SQLITE_OK) << error;
    sqlite3_free(error);
    sqlite3_close(db);
}

} // namespace LibraryFixture
