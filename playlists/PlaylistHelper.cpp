#include "playlists/PlaylistHelper.h"

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"
#include "platform/SystemError.h"
#include "services/FileManager.h"

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kNotSuccessful = QStringLiteral("The operation was not successful");
const QString kChooseAnotherName =
    QStringLiteral("The operation was not successful. Please choose another name.");

bool exists(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString PlaylistHelper::playlistFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Quaver");
}

bool PlaylistHelper::playlistFolderExist()
{
    return exists(playlistFolder());
}

Result<void> PlaylistHelper::createPlaylistFolder()
{
    if (const int error = FileManager::makePath(playlistFolder()))
        return Failure(SystemError::text(error), QStringLiteral("Error !!!"));
    return {};
}

Result<QStringList> PlaylistHelper::availablePlaylists()
{
    if (!playlistFolderExist())
        return Failure(QStringLiteral("You have no playlists"));
    const Result<QStringList> entries = FileManager::contentsOfDirectoryAtPath(playlistFolder());
    if (!entries)
        return entries.failure();
    QStringList names;
    for (const QString& entry : *entries) {
        if (FileManager::pathExtension(entry) == QLatin1String("qv"))
            names.append(entry.chopped(3));
    }
    return names;
}

QString PlaylistHelper::pathForPlaylist(const QString& name)
{
    return QStringLiteral("%1/%2.qv").arg(playlistFolder(), name);
}

Result<MediaList> PlaylistHelper::contentsForPlaylist(const QString& name)
{
    if (!isAcceptableName(name))
        return Failure(kChooseAnotherName);
    const QString path = pathForPlaylist(name);
    if (!exists(path))
        return Failure(name + QStringLiteral("Playlist does not exist"));
    QFile file;
    std::optional<MediaList> items;
    if (RegularFile::open(file, path))
        items = MediaDesc::itemsWithArchivedData(file.readAll());
    if (!items)
        return Failure(kNotSuccessful);
    return *std::move(items);
}

Result<PlaylistHelper::Saved>
PlaylistHelper::createPlaylistWithName(const QString& name, const MediaList& items, bool crateFlag)
{
    if (!isAcceptableName(name))
        return Failure(kChooseAnotherName);
    if (const Result<void> folder = folderForWriting(); !folder)
        return folder.failure();
    const QByteArray contents = MediaDesc::archivedDataWithItems(items);

    if (crateFlag && exists(pathForPlaylist(name))) {
        for (int n = 1; n <= kMaxNameSuffix; ++n) {
            const QString candidate = name + QString::number(n);
            const QString path = pathForPlaylist(candidate);
            if (exists(path))
                continue;
            if (!AtomicFile::write(path, contents, AtomicFile::Mode::CreateNew))
                return Failure(kNotSuccessful);
            return Saved{candidate, QStringLiteral("%1 playlist has been created.").arg(candidate)};
        }
        // Every numbered name is taken: nothing was saved, and the user must know.
        return Failure(kChooseAnotherName);
    }

    if (!AtomicFile::write(pathForPlaylist(name), contents))
        return Failure(kNotSuccessful);
    return Saved{name, crateFlag ? QStringLiteral("%1 playlist was created.").arg(name)
                                 : QStringLiteral("%1 has been updated.").arg(name)};
}

Result<void> PlaylistHelper::folderForWriting()
{
    if (playlistFolderExist())
        return {};
    if (const Result<void> made = createPlaylistFolder(); !made)
        return made.failure().then(Failure(kNotSuccessful));
    return {};
}

Result<void> PlaylistHelper::passRenameDeleteGate(const QString& name)
{
    if (playlistFolderExist() && !exists(pathForPlaylist(name)))
        return Failure(kNotSuccessful);
    return folderForWriting();
}

Result<void> PlaylistHelper::renamePlaylistWithName(const QString& name, const QString& newName)
{
    if (!isAcceptableName(name) || !isAcceptableName(newName))
        return Failure(kChooseAnotherName);
    if (const Result<void> gate = passRenameDeleteGate(name); !gate)
        return gate;
    if (const int err =
            AtomicFile::moveWithoutReplacing(pathForPlaylist(name), pathForPlaylist(newName)))
        return Failure(SystemError::text(err));
    return {};
}

Result<void> PlaylistHelper::deletePlaylistWithName(const QString& name)
{
    if (!isAcceptableName(name))
        return Failure(kChooseAnotherName);
    if (const Result<void> gate = passRenameDeleteGate(name); !gate)
        return gate;
    if (::unlink(QFile::encodeName(pathForPlaylist(name)).constData()) != 0)
        return Failure(SystemError::text(errno));
    return {};
}

bool PlaylistHelper::isAcceptableName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}
