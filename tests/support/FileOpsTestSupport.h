#pragma once

// Helpers of the file-operation tests: paths inside the test's own folder
// ("<home>/t"; the home folder also holds the program's own folders), and what is
// on disk there.

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

namespace FileOps {

inline QString s(const char *text)
{
    return QString::fromUtf8(text);
}

inline QString at(const QString& relative = {})
{
    const QString root = TestEnvironment::home() + QStringLiteral("/t");
    return relative.isEmpty() ? root : root + QLatin1Char('/') + relative;
}

inline QString at(const char *relative)
{
    return at(s(relative));
}

inline QByteArray native(const char *relative)
{
    return QFile::encodeName(at(relative));
}

inline QString write(const QString& relative, const QByteArray& bytes = "x")
{
    return TestEnvironment::writeFile(at(relative), bytes);
}

// The file's bytes, "<missing>" when it cannot be read.
inline QByteArray contents(const QString& path)
{
    QFile file(path.startsWith(QLatin1Char('/')) ? path : at(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Entry names, by code unit order.
inline QStringList ls(const QString& relative = {})
{
    return QDir(at(relative))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System, QDir::Name);
}

} // namespace FileOps
