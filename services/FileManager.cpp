#include "services/FileManager.h"

#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_checkMutex;
std::function<bool(const QString&)> g_deletableCheck; // guarded by g_checkMutex

// "/a/b//" -> "/a/b"; a path made only of "/" stays "/".
QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString reasonText(int errnum, const QString& fallback)
{
    const QString text = errnum ? SystemError::text(errnum) : QString();
    return text.trimmed().isEmpty() ? fallback : text;
}

bool isDirectory(const QByteArray& native)
{
    struct stat info;
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Immutable and append-only items cannot be unlinked, and no entry can be unlinked
// from a folder carrying either flag, whatever the permission bits say. File systems
// without these flags answer the ioctl with an error, which means "not flagged".
bool hasUndeletableFlags(const QByteArray& native, bool followLink)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                                  (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    int flags = 0;
    const bool flagged = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                         (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
    ::close(fd);
    return flagged;
}

// What unlink()/rmdir() will demand of the current user, checked without trying.
// Root is treated as holding CAP_FOWNER for the sticky rule.
bool systemAllowsDeletion(const QString& item)
{
    const QByteArray native = QFile::encodeName(item);
    struct stat itemInfo;
    if (::lstat(native.constData(), &itemInfo) != 0)
        return false;

    QByteArray parent = QFile::encodeName(FileManager::deletingLastPathComponent(item));
    if (parent.isEmpty())
        parent = ".";
    struct stat parentInfo;
    if (::faccessat(AT_FDCWD, parent.constData(), W_OK | X_OK, AT_EACCESS) != 0 ||
        ::stat(parent.constData(), &parentInfo) != 0)
        return false;

    const uid_t user = ::geteuid();
    if ((parentInfo.st_mode & S_ISVTX) && user != 0 && user != itemInfo.st_uid &&
        user != parentInfo.st_uid)
        return false;

    // Only regular files and folders are opened for their flags: opening a device
    // or a FIFO can have effects of its own, and links carry no flags.
    if ((S_ISREG(itemInfo.st_mode) || S_ISDIR(itemInfo.st_mode)) &&
        hasUndeletableFlags(native, false))
        return false;
    return !hasUndeletableFlags(parent, true);
}

} // namespace

const QStringList& FileManager::supportedExtensions()
{
    static const QStringList list{
        QStringLiteral("MP3"),  QStringLiteral("WAV"),  QStringLiteral("M4A"),
        QStringLiteral("AAC"),  QStringLiteral("AIFF"), QStringLiteral("AIF"),
        QStringLiteral("AIFC"), QStringLiteral("AMR"),  QStringLiteral("ALAC"),
        QStringLiteral("CAF"),  QStringLiteral("M4R"),  QStringLiteral("MP2"),
        QStringLiteral("MPGA"), QStringLiteral("PCM"),  QStringLiteral("MP4"),
        QStringLiteral("3GP"),  QStringLiteral("MOV"),  QStringLiteral("MPV"),
        QStringLiteral("M4V"),  QStringLiteral("FLAC"), QStringLiteral("OGG"),
        QStringLiteral("OGA"),  QStringLiteral("OPUS"), QStringLiteral("WV"),
        QStringLiteral("APE"),  QStringLiteral("MKA"),  QStringLiteral("WMA"),
        QStringLiteral("DSF"),  QStringLiteral("MKV"),  QStringLiteral("WEBM"),
        QStringLiteral("AVI")};
    return list;
}

const QStringList& FileManager::videoExtensions()
{
    static const QStringList list{QStringLiteral("MP4"),  QStringLiteral("MOV"),
                                  QStringLiteral("3GP"),  QStringLiteral("MKV"),
                                  QStringLiteral("WEBM"), QStringLiteral("AVI")};
    return list;
}

QString FileManager::lastPathComponent(const QString& path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    if (trimmed == QLatin1String("/"))
        return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FileManager::pathExtension(const QString& path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return {};
    return name.mid(dot + 1);
}

QString FileManager::deletingLastPathComponent(const QString& path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    if (slash == 0)
        return QStringLiteral("/");
    return withoutTrailingSlashes(trimmed.left(slash));
}

QString FileManager::appendingPathComponent(const QString& folder, const QString& name)
{
    QString tail = withoutTrailingSlashes(name);
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    if (folder.isEmpty())
        return tail;
    const QString head = withoutTrailingSlashes(folder);
    if (tail.isEmpty())
        return head;
    return head == QLatin1String("/") ? head + tail : head + QLatin1Char('/') + tail;
}

bool FileManager::fileExistAtPath(const QString& path)
{
    struct stat info;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

bool FileManager::pathIsFolder(const QString& path)
{
    return !path.isEmpty() && isDirectory(QFile::encodeName(path));
}

bool FileManager::fileIsSupported(const QString& path)
{
    const QString extension = pathExtension(path).toUpper();
    return !extension.isEmpty() && supportedExtensions().contains(extension);
}

bool FileManager::isVideoFile(const QString& path)
{
    const QString extension = pathExtension(path).toUpper();
    return !extension.isEmpty() && videoExtensions().contains(extension);
}

QString FileManager::currentFolderName(const QString& path)
{
    return lastPathComponent(path);
}

QString FileManager::homeFolder()
{
    const QString home = withoutTrailingSlashes(QDir::homePath());
    return home.endsWith(QLatin1Char('/')) ? home : home + QLatin1Char('/');
}

QString FileManager::quotedNames(const QStringList& names)
{
    QStringList shown = names.first(std::min<qsizetype>(names.size(), 3));
    for (QString& name : shown)
        name = QStringLiteral("\u201c%1\u201d").arg(name);
    if (names.size() > shown.size())
        shown.append(QStringLiteral("\u2026"));
    return shown.join(QStringLiteral(", "));
}

QString FileManager::inexactNamesMessage(const QStringList& names)
{
    if (names.isEmpty())
        return {};
    if (names.size() == 1)
        return QStringLiteral(
                   "%1 can't be used: its name is not valid UTF-8. Rename it to play it.")
            .arg(quotedNames(names));
    return QStringLiteral("%1 files can't be used: their names are not valid UTF-8 (%2). "
                          "Rename them to play them.")
        .arg(names.size())
        .arg(quotedNames(names));
}

Result<QList<FileManager::DirectoryEntry>> FileManager::readDirectory(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    DIR *dir = native.isEmpty() ? nullptr : ::opendir(native.constData());
    int error = native.isEmpty() ? ENOENT : errno;
    if (dir) {
        QList<DirectoryEntry> entries;
        // readdir() tells the end from a failure only through errno.
        for (;;) {
            errno = 0;
            const dirent *entry = ::readdir(dir);
            if (!entry) {
                error = errno;
                break;
            }
            const char *n = entry->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
                continue;
            bool folder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                struct stat info;
                folder = ::fstatat(::dirfd(dir), n, &info, 0) == 0 && S_ISDIR(info.st_mode);
            }
            QString name = QFile::decodeName(n);
            const bool exact = QFile::encodeName(name) == QByteArrayView(n);
            entries.append({std::move(name), folder, exact});
        }
        ::closedir(dir);
        if (error == 0)
            return entries;
    }
    return Failure(reasonText(error, QStringLiteral("The folder could not be read.")),
                   QStringLiteral("Error !!!"));
}

Result<QStringList> FileManager::contentsOfDirectoryAtPath(const QString& path)
{
    const Result<QList<DirectoryEntry>> entries = readDirectory(path);
    if (!entries)
        return entries.failure();
    QStringList names;
    names.reserve(entries->size());
    for (const DirectoryEntry& entry : *entries)
        names.append(entry.name);
    return names;
}

bool FileManager::canDeleteFile(const QString& path)
{
    // Removing "x/.." or "x/." recursively would empty a folder the user never
    // chose before the final rmdir() failed; "/" is never a choice either.
    const QString item = withoutTrailingSlashes(path);
    const QString name = lastPathComponent(item);
    if (item.isEmpty() || item == QLatin1String("/") || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return false;

    std::function<bool(const QString&)> check;
    {
        std::lock_guard lock(g_checkMutex);
        check = g_deletableCheck;
    }
    return check ? check(path) : systemAllowsDeletion(item);
}

Result<void> FileManager::deleteAllObjectsFromCollection(const QStringList& paths)
{
    int notDeleted = 0;
    for (const QString& path : paths) {
        if (!canDeleteFile(path)) {
            ++notDeleted;
            continue;
        }
        // Without the trailing "/" a link to a folder names the link itself, so
        // only the link goes and the folder it points to stays.
        const std::filesystem::path target(
            QFile::encodeName(withoutTrailingSlashes(path)).toStdString());
        std::error_code error;
        std::filesystem::remove_all(target, error);
        if (error)
            ++notDeleted;
    }
    if (notDeleted > 0)
        return Failure(QStringLiteral("Some of the selected items weren't deleted"));
    return {};
}

int FileManager::makePath(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return ENOENT;
    QByteArray prefix = native.startsWith('/') ? QByteArray("/") : QByteArray();
    // One mkdir() per component, so the caller learns the reason of the component
    // that failed; one that exists as a folder (or a link to one) is passed over.
    for (const QByteArray& part : native.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (!prefix.isEmpty() && !prefix.endsWith('/'))
            prefix += '/';
        prefix += part;
        if (::mkdir(prefix.constData(), 0777) == 0)
            continue;
        const int mkdirError = errno;
        if (!isDirectory(prefix))
            return mkdirError;
    }
    return 0;
}

Result<void> FileManager::createDirAtPath(const QString& path)
{
    if (const int error = makePath(path))
        return Failure(reasonText(error, QStringLiteral("The folder could not be created.")));
    return {};
}

void FileManager::setDeletableCheckForTesting(std::function<bool(const QString&)> check)
{
    std::lock_guard lock(g_checkMutex);
    g_deletableCheck = std::move(check);
}
