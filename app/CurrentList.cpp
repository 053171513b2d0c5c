#include "app/CurrentList.h"

#include "media/MediaHelper.h"
#include "media/MediaListSnapshot.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "services/FolderListing.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>

namespace {
Q_LOGGING_CATEGORY(lcApp, "quaver.app", QtWarningMsg)
const QString kLastPlaylist = QStringLiteral("Last Playlist");
} // namespace

CurrentList::CurrentList(PlaylistModel *model, QObject *parent) : QObject(parent), m_model(model) {}

CurrentList::~CurrentList() = default;

void CurrentList::restore()
{
    UserDefaults& defaults = UserDefaults::standard();
    const QVariant stored = defaults.objectForKey(kLastPlaylist);
    std::optional<MediaList> decoded;
    if (stored.typeId() == QMetaType::QByteArray)
        decoded = MediaDesc::itemsWithArchivedData(stored.toByteArray());
    // What is stored is what is shown: writing it back would change nothing.
    m_model->setItems(decoded ? std::move(*decoded) : MediaList());
    if (decoded || !stored.isValid())
        return;
    if (!defaults.keepDamagedCopy()) {
        // Storing the empty list would destroy the only copy of the user's list.
        qCWarning(lcApp) << "the stored current list cannot be read and no copy of it "
                            "could be kept; it is left as it is until the list changes";
        return;
    }
    defaults.setObject(kLastPlaylist, MediaDesc::archivedDataWithItems({}));
    defaults.synchronize();
}

void CurrentList::store()
{
    auto snapshot = std::make_shared<MediaListSnapshot>(m_model->items());
    m_stores.async([snapshot = std::move(snapshot)] {
        UserDefaults& defaults = UserDefaults::standard();
        defaults.setObject(kLastPlaylist, std::move(*snapshot).archivedData());
        defaults.synchronize();
    });
}

void CurrentList::waitForStores()
{
    m_stores.waitForDone();
}

void CurrentList::append(const QStringList& paths, bool report, std::function<void()> then)
{
    QPointer<CurrentList> self(this);
    m_fills.async(
        [self, paths = FolderListing::absolutePaths(paths), report, then = std::move(then)] {
            MediaList records = MediaHelper::collectionWithMedia(paths);
            Dispatch::main(
                [self, records = std::move(records), count = int(paths.size()), report, then] {
                    if (!self)
                        return;
                    MediaList items = self->m_model->items();
                    items.append(records);
                    self->install(std::move(items), count, report, then);
                });
        });
}

void CurrentList::replaceWithPlaylist(const QString& name)
{
    QPointer<CurrentList> self(this);
    m_fills.async([self, name] {
        Result<MediaList> read = PlaylistHelper::contentsForPlaylist(name);
        Dispatch::main([self, read = std::move(read)] {
            if (!self)
                return;
            // A playlist that cannot be read leaves the list as it is: an unreadable
            // file is no empty playlist.
            if (!read)
                Q_EMIT self->readFailed(read.failure());
            else
                self->install(*read, int(read->size()), true, {});
        });
    });
}

void CurrentList::install(MediaList items, int count, bool report,
                          const std::function<void()>& then)
{
    m_model->setItems(std::move(items));
    Q_EMIT installed();
    if (report)
        Q_EMIT countReady(count);
    store();
    if (then)
        then();
}

QString CurrentList::countMessage(int count)
{
    if (count == 1)
        return QStringLiteral("one item have been added to your current playlist");
    if (count >= 2)
        return QStringLiteral("%1 items have been added to your current playlist").arg(count);
    return QStringLiteral("There are no items in selected folder.");
}
