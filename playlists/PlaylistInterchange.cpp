#include "playlists/PlaylistInterchange.h"

#include "media/MediaHelper.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"
#include "playlists/PlaylistModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <map>

namespace {

int secondsOf(const std::optional<QString>& duration)
{
    if (!duration)
        return -1;
    const QStringList parts = duration->split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return -1;
    int seconds = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value < 0)
            return -1;
        seconds = seconds * 60 + value;
    }
    return seconds;
}

QString displayName(const MediaDesc& item)
{
    QString name;
    if (item.title && item.artist)
        name = QStringLiteral("%1 - %2").arg(*item.artist, *item.title);
    else if (item.title)
        name = *item.title;
    else if (item.artist)
        name = *item.artist;
    else
        name = PlaylistModel::fileTitle(item.filePath.value_or(QString()));
    // A line break in a tag would start a new entry.
    name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return name;
}

bool holdsBinary(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\r' && c != '\n')
            return true;
    }
    return false;
}

std::optional<QString> utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Resolves one entry to an existing file's absolute path; empty when it has none.
QString resolve(const QString& entry, const QDir& base)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    QString path = entry;
    if (scheme.match(entry).hasMatch())
        path = QUrl(entry).toLocalFile(); // empty, so no file, unless "file://"
    const QFileInfo info(base, path);
    return info.isFile() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

} // namespace

QByteArray PlaylistInterchange::m3uWithItems(const MediaList& items)
{
    QString text = QStringLiteral("#EXTM3U\n");
    for (const MediaDescPtr& item : items) {
        const QString path = item ? item->filePath.value_or(QString()) : QString();
        if (path.isEmpty() || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
            continue;
        text += QStringLiteral("#EXTINF:%1,%2\n%3\n")
                    .arg(QString::number(secondsOf(item->duration)), displayName(*item), path);
    }
    return text.toUtf8();
}

Result<void> PlaylistInterchange::exportItems(const MediaList& items, const QString& path)
{
    QString error;
    if (!AtomicFile::write(path, m3uWithItems(items), AtomicFile::Mode::Replace, &error))
        return Failure(error, QStringLiteral("Error !!!"));
    return {};
}

Result<PlaylistInterchange::Entries> PlaylistInterchange::entriesOfFile(const QString& path)
{
    const QFileInfo info(path);
    const QString shown = info.fileName();

    const QString suffix = info.suffix().toLower();
    const bool pls = suffix == QLatin1String("pls");
    if (!pls && suffix != QLatin1String("m3u") && suffix != QLatin1String("m3u8"))
        return Failure(QStringLiteral("Only .m3u, .m3u8 and .pls files can be imported."));

    QFile file;
    if (QString reason; !RegularFile::open(file, path, &reason))
        return Failure(QStringLiteral("“%1” cannot be read: %2").arg(shown, reason));
    if (file.size() > kMaxFileBytes)
        return Failure(QStringLiteral("“%1” is too large to be a playlist.").arg(shown));
    // read() bounded as well: a file may grow, or report no size.
    QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return Failure(QStringLiteral("“%1” is too large to be a playlist.").arg(shown));

    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (holdsBinary(bytes))
        return Failure(QStringLiteral("“%1” is not a playlist: it holds binary data.").arg(shown));
    std::optional<QString> text = utf8(bytes);
    if (!text) {
        if (suffix == QLatin1String("m3u8"))
            return Failure(QStringLiteral("“%1” is not a valid UTF-8 playlist.").arg(shown));
        text = QString::fromLatin1(bytes);
    }

    QStringList lines = text->split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();

    QStringList raw;
    if (pls) {
        std::map<qint64, QString> files;
        bool inSection = false;
        bool sawSection = false;
        for (const QString& line : std::as_const(lines)) {
            if (line.startsWith(QLatin1Char('['))) {
                inSection = line.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0;
                sawSection = sawSection || inSection;
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (!inSection || equals < 0 ||
                !line.startsWith(QLatin1String("File"), Qt::CaseInsensitive))
                continue;
            bool ok = false;
            const qint64 n = QStringView(line).mid(4, equals - 4).toLongLong(&ok);
            if (ok && n > 0)
                files[n] = line.mid(equals + 1).trimmed();
        }
        if (!sawSection)
            return Failure(
                QStringLiteral("“%1” is not a PLS playlist: it has no [playlist] section.")
                    .arg(shown));
        for (const auto& [n, entry] : files)
            raw.append(entry);
    } else {
        for (const QString& line : std::as_const(lines))
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                raw.append(line);
    }

    Entries entries;
    const QDir base = info.absoluteDir();
    for (const QString& entry : std::as_const(raw)) {
        const QString resolved = resolve(entry, base);
        if (resolved.isEmpty())
            ++entries.skipped;
        else
            entries.paths.append(resolved);
    }
    return entries;
}

Result<PlaylistInterchange::Import> PlaylistInterchange::readImport(const QString& path)
{
    const Result<Entries> entries = entriesOfFile(path);
    if (!entries)
        return entries.failure();
    Import import;
    import.name = QFileInfo(path).completeBaseName();
    if (import.name.isEmpty())
        import.name = QStringLiteral("Imported");
    import.records = MediaHelper::collectionWithMedia(entries->paths);
    import.skipped = entries->skipped + int(entries->paths.size() - import.records.size());
    return import;
}

Result<PlaylistHelper::Saved> PlaylistInterchange::saveImport(const Import& import)
{
    Result<PlaylistHelper::Saved> saved =
        PlaylistHelper::createPlaylistWithName(import.name, import.records, true);
    if (!saved)
        return saved;
    PlaylistHelper::Saved announced = *std::move(saved);
    announced.message += QStringLiteral(" %1 songs imported.").arg(import.records.size());
    if (import.skipped > 0)
        announced.message += QStringLiteral(" %1 entries skipped.").arg(import.skipped);
    return announced;
}
