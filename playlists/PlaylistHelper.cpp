#include "playlists/PlaylistHelper.h"

#include "platform/Alert.h"
#include "platform/AtomicFile.h"
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

bool PlaylistHelper::createPlaylistFolder()
{
    if (const int error = FileManager::makePath(playlistFolder())) {
        displayAlertWithTitle(QStringLiteral("Error !!!"), SystemError::text(error));
        return false;
    }
    return true;
}

void PlaylistHelper::displayAlertWithTitle(const QString& title, const QString& message)
{
    Alert::showMessage(title, message);
}

std::optional<QStringList> PlaylistHelper::availablePlaylists()
{
    if (!playlistFolderExist()) {
        displayAlertWithTitle(QString(), QStringLiteral("You have no playlists"));
        return std::nullopt;
    }
    // The listing reports its own failure ("Error !!!" with the system's reason).
    const std::optional<QStringList> entries =
        FileManager::contentsOfDirectoryAtPath(playlistFolder());
    if (!entries)
        return std::nullopt;
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

std::optional<MediaList> PlaylistHelper::contentsForPlaylist(const QString& name)
{
    if (!isAcceptableName(name)) {
        displayAlertWithTitle(QString(), kChooseAnotherName);
        return std::nullopt;
    }
    const QString path = pathForPlaylist(name);
    if (!exists(path)) {
        displayAlertWithTitle(QString(), name + QStringLiteral("Playlist does not exist"));
        return std::nullopt;
    }
    QFile file(path);
    std::optional<MediaList> items;
    if (file.open(QIODevice::ReadOnly))
        items = MediaDesc::itemsWithArchivedData(file.readAll());
    if (!items)
        displayAlertWithTitle(QString(), kNotSuccessful);
    return items;
}

bool PlaylistHelper::createPlaylistWithName(const QString& name, const MediaList& items,
                                            bool crateFlag)
{
    const Saved saved = savePlaylistWithName(name, items, crateFlag);
    displayAlertWithTitle(QString(), saved.message);
    return saved.name.has_value();
}

PlaylistHelper::Saved PlaylistHelper::savePlaylistWithName(const QString& name,
                                                           const MediaList& items, bool crateFlag)
{
    if (!isAcceptableName(name))
        return {std::nullopt, kChooseAnotherName};
    if (!playlistFolderExist() && !createPlaylistFolder())
        return {std::nullopt, kNotSuccessful};
    const QByteArray contents = MediaDesc::archivedDataWithItems(items);

    if (crateFlag && exists(pathForPlaylist(name))) {
        for (int n = 1; n <= kMaxNameSuffix; ++n) {
            const QString candidate = name + QString::number(n);
            const QString path = pathForPlaylist(candidate);
            if (exists(path))
                continue;
            if (!AtomicFile::write(path, contents, AtomicFile::Mode::CreateNew))
                return {std::nullopt, kNotSuccessful};
            return {candidate, QStringLiteral("%1 playlist has been created.").arg(candidate)};
        }
        // Every numbered name is taken: nothing was saved, and the user must know.
        return {std::nullopt, kChooseAnotherName};
    }

    if (!AtomicFile::write(pathForPlaylist(name), contents))
        return {std::nullopt, kNotSuccessful};
    return {name, crateFlag ? QStringLiteral("%1 playlist was created.").arg(name)
                            : QStringLiteral("%1 has been updated.").arg(name)};
}

bool PlaylistHelper::passesRenameDeleteGate(const QString& name)
{
    if (playlistFolderExist() ? exists(pathForPlaylist(name)) : createPlaylistFolder())
        return true;
    displayAlertWithTitle(QString(), kNotSuccessful);
    return false;
}

bool PlaylistHelper::renamePlaylistWithName(const QString& name, const QString& newName)
{
    if (!isAcceptableName(name) || !isAcceptableName(newName)) {
        displayAlertWithTitle(QString(), kChooseAnotherName);
        return false;
    }
    if (!passesRenameDeleteGate(name))
        return false;
    if (const int err =
            AtomicFile::moveWithoutReplacing(pathForPlaylist(name), pathForPlaylist(newName))) {
        displayAlertWithTitle(QString(), SystemError::text(err));
        return false;
    }
    return true;
}

bool PlaylistHelper::deletePlaylistWithName(const QString& name)
{
    if (!isAcceptableName(name)) {
        displayAlertWithTitle(QString(), kChooseAnotherName);
        return false;
    }
    if (!passesRenameDeleteGate(name))
        return false;
    if (::unlink(QFile::encodeName(pathForPlaylist(name)).constData()) != 0) {
        displayAlertWithTitle(QString(), SystemError::text(errno));
        return false;
    }
    return true;
}

bool PlaylistHelper::isAcceptableName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}
