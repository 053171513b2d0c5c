#include "LibraryFixture.h"

#include <QDir>
#include <QDirIterator>
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
            fields.append(field ? *field : QStringLiteral("-"));
        if (fields[4].startsWith(root + QLatin1Char('/')))
            fields[4].replace(0, root.size(), QStringLiteral("@"));
        lines.push_back(fields.join(QLatin1Char('|')).toStdString());
    }
    return lines;
}

} // namespace LibraryFixture
