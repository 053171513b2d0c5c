#include "services/FolderListing.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool asciiKey(const QString& name, const std::array<char, 128>& ranks, std::string& key);

// The rank of each printable ASCII character in collator's order, characters it
// holds equal ("a", "A") sharing one, and every digit ranked as "0": digit runs
// are compared by value in asciiKey(). Nothing for a language that sorts some
// pairs of letters as one ("ch" in Czech, "aa" in Danish), which only the
// collator can order.
std::optional<std::array<char, 128>> asciiRanks(const QCollator& collator)
{
    QString chars;
    for (char16_t c = 0x20; c < 0x7f; ++c)
        chars.append(QChar(c));
    const auto order = [&collator](const QChar& a, const QChar& b) {
        return collator.compare(QStringView(&a, 1), QStringView(&b, 1));
    };
    std::stable_sort(chars.begin(), chars.end(),
                     [&order](QChar a, QChar b) { return order(a, b) < 0; });
    std::array<char, 128> ranks{};
    char rank = 1;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        if (i > 0 && order(chars.at(i - 1), chars.at(i)) != 0)
            ++rank;
        ranks[chars.at(i).unicode()] = rank;
    }
    std::fill(ranks.begin() + '1', ranks.begin() + '9' + 1, ranks['0']);

    std::vector<std::pair<std::string, QString>> pairs;
    for (char16_t a = u'a'; a <= u'z'; ++a)
        for (char16_t b = u'a'; b <= u'z'; ++b) {
            pairs.push_back({{}, QString(QChar(a)) + QChar(b)});
            asciiKey(pairs.back().second, ranks, pairs.back().first);
        }
    std::sort(pairs.begin(), pairs.end());
    for (size_t i = 1; i < pairs.size(); ++i)
        if (collator.compare(pairs[i - 1].second, pairs[i].second) > 0)
            return std::nullopt;
    return ranks;
}

// Appends to key what compares (bytewise) as the collator of ranks compares name:
// each character's rank, and for a run of digits the rank of "0", the number of its
// digits after any leading zeros, and those digits. False for a name with anything
// but printable ASCII, whose key is then left unfinished.
bool asciiKey(const QString& name, const std::array<char, 128>& ranks, std::string& key)
{
    const auto isDigit = [&name](qsizetype i) {
        return i < name.size() && name.at(i) >= u'0' && name.at(i) <= u'9';
    };
    for (qsizetype i = 0; i < name.size();) {
        const char16_t c = name.at(i).unicode();
        if (c < 0x20 || c > 0x7e)
            return false;
        if (!isDigit(i)) {
            key += ranks[c];
            ++i;
            continue;
        }
        while (name.at(i) == u'0' && isDigit(i + 1))
            ++i;
        qsizetype end = i;
        while (isDigit(end))
            ++end;
        key += ranks['0'];
        key += char(std::min<qsizetype>(end - i, 127));
        for (; i < end; ++i)
            key += char(name.at(i).unicode());
    }
    return true;
}

} // namespace

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

    std::vector<qsizetype> order(size_t(entries.size()));
    std::iota(order.begin(), order.end(), 0);
    std::vector<char> folder(order.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
        folder[size_t(i)] = entries.at(i).isFolder;
    const auto sortBy = [&entries, &order, &folder](const auto& keys) {
        std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            if (folder[size_t(a)] != folder[size_t(b)])
                return folder[size_t(a)] > folder[size_t(b)];
            const int byKey = keys[size_t(a)].compare(keys[size_t(b)]);
            return byKey != 0 ? byKey < 0 : entries.at(a).name < entries.at(b).name;
        });
    };
    // Names of printable ASCII only, most folders' names, are sorted by keys made
    // here: ICU's keys cost ten times as much.
    const std::optional<std::array<char, 128>> ranks = asciiRanks(collator);
    // One buffer for every key: 50,000 strings would cost as much as the sort.
    std::string keyText;
    std::vector<size_t> ends(order.size());
    bool ascii = ranks.has_value();
    for (qsizetype i = 0; ascii && i < entries.size(); ++i) {
        ascii = asciiKey(entries.at(i).name, *ranks, keyText);
        ends[size_t(i)] = keyText.size();
    }
    if (ascii) {
        std::vector<std::string_view> keys(order.size());
        for (size_t i = 0, start = 0; i < keys.size(); start = ends[i++])
            keys[i] = std::string_view(keyText).substr(start, ends[i] - start);
        sortBy(keys);
    } else {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(order.size());
        for (const FileManager::DirectoryEntry& entry : std::as_const(entries))
            keys.push_back(collator.sortKey(entry.name));
        sortBy(keys);
    }
    QList<FileManager::DirectoryEntry> sorted;
    sorted.reserve(entries.size());
    for (const qsizetype i : order)
        sorted.append(std::move(entries[i]));
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
