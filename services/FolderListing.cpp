#include "services/FolderListing.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

Result<FolderListing> FolderListing::read(const QString& path)
{
    Result<QList<FileManager::DirectoryEntry>> entries = FileManager::readDirectory(path);
    if (!entries)
        return entries.failure();
    FolderListing listing;
    listing.m_path = path;
    listing.m_entries = *std::move(entries);
    listing.m_keys.reserve(listing.m_entries.size());
    for (const FileManager::DirectoryEntry& entry : std::as_const(listing.m_entries))
        listing.m_keys.append(searchKey(entry.name));
    return listing;
}

QList<int> FolderListing::matching(const QString& text) const
{
    const QString key = searchKey(text);
    QList<int> rows;
    for (qsizetype i = 0; i < m_keys.size(); ++i)
        if (m_keys.at(i).startsWith(key))
            rows.append(int(i));
    return rows;
}

QString FolderListing::searchKey(const QString& text)
{
    // Most names are plain ASCII; they skip the costly normalisation.
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text.toLower();
    QString key = text.normalized(QString::NormalizationForm_D);
    key.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return key.toCaseFolded();
}

QStringList FolderListing::expandForPlaying(const QStringList& paths, QStringList *leftOut)
{
    QStringList files;
    for (const QString& path : absolutePaths(paths)) {
        if (!FileManager::pathIsFolder(path)) {
            files.append(path);
            continue;
        }
        QStringList names;
        for (const FileManager::DirectoryEntry& entry :
             FileManager::readDirectory(path).valueOr(QList<FileManager::DirectoryEntry>())) {
            if (entry.isFolder || !FileManager::fileIsSupported(entry.name))
                continue;
            if (entry.nameIsExact)
                names.append(entry.name);
            else if (leftOut)
                leftOut->append(entry.name);
        }
        names.sort(Qt::CaseInsensitive);
        for (const QString& name : std::as_const(names))
            files.append(FileManager::appendingPathComponent(path, name));
    }
    return files;
}

QStringList FolderListing::absolutePaths(const QStringList& paths)
{
    QStringList absolute;
    absolute.reserve(paths.size());
    for (const QString& path : paths)
        absolute.append(path.isEmpty() ? path
                                       : QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return absolute;
}
