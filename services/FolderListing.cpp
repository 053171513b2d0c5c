#include "services/FolderListing.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <vector>

Result<FolderListing> FolderListing::read(const QString& path)
{
    Result<QList<FileManager::DirectoryEntry>> entries = FileManager::readDirectory(path);
    if (!entries)
        return entries.failure();
    FolderListing listing;
    listing.m_path = path;
    listing.m_entries = *std::move(entries);
    sortEntries(listing.m_entries);
    listing.m_keys.reserve(listing.m_entries.size());
    for (const FileManager::DirectoryEntry& entry : std::as_const(listing.m_entries))
        listing.m_keys.append(searchKey(entry.name));
    return listing;
}

QList<int> FolderListing::matching(const QString& text, bool withHidden) const
{
    const QString key = searchKey(text);
    QList<int> rows;
    for (qsizetype i = 0; i < m_keys.size(); ++i)
        if (m_keys.at(i).startsWith(key) &&
            (withHidden || !m_entries.at(i).name.startsWith(QLatin1Char('.'))))
            rows.append(int(i));
    return rows;
}

void FolderListing::sortEntries(QList<FileManager::DirectoryEntry>& entries)
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        keyed.push_back({collator.sortKey(entries.at(i).name), i});
    std::sort(keyed.begin(), keyed.end(), [&entries](const Keyed& a, const Keyed& b) {
        const FileManager::DirectoryEntry& x = entries.at(a.index);
        const FileManager::DirectoryEntry& y = entries.at(b.index);
        if (x.isFolder != y.isFolder)
            return x.isFolder;
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : x.name < y.name;
    });
    QList<FileManager::DirectoryEntry> sorted;
    sorted.reserve(entries.size());
    for (const Keyed& k : keyed)
        sorted.append(std::move(entries[k.index]));
    entries = std::move(sorted);
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
        QList<FileManager::DirectoryEntry> playable;
        for (FileManager::DirectoryEntry& entry :
             FileManager::readDirectory(path).valueOr(QList<FileManager::DirectoryEntry>())) {
            if (entry.isFolder || !FileManager::fileIsSupported(entry.name))
                continue;
            if (entry.nameIsExact)
                playable.append(std::move(entry));
            else if (leftOut)
                leftOut->append(entry.name);
        }
        sortEntries(playable);
        for (const FileManager::DirectoryEntry& entry : std::as_const(playable))
            files.append(FileManager::appendingPathComponent(path, entry.name));
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
