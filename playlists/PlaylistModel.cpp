#include "playlists/PlaylistModel.h"

#include "media/MediaInfo.h"
#include "platform/Dispatch.h"
#include "services/FileManager.h"

#include <utility>

PlaylistModel::PlaylistModel(QObject *parent)
    : QAbstractListModel(parent), m_durationReader(&MediaInfo::durationForItemAtPath),
      m_self(std::make_shared<PlaylistModel *>(this))
{}

PlaylistModel::~PlaylistModel()
{
    *m_self = nullptr;
}

void PlaylistModel::setItems(MediaList items)
{
    beginResetModel();
    m_items = std::move(items);
    // A mark must not outlive its record: a new record could take its address.
    QSet<const MediaDesc *> kept;
    for (const MediaDescPtr& item : std::as_const(m_items))
        if (m_failed.contains(item.get()))
            kept.insert(item.get());
    m_failed = std::move(kept);
    endResetModel();
}

void PlaylistModel::appendItems(const MediaList& items)
{
    if (items.isEmpty())
        return;
    beginInsertRows({}, int(m_items.size()), int(m_items.size() + items.size() - 1));
    m_items.append(items);
    endInsertRows();
}

void PlaylistModel::clear()
{
    setItems({});
}

void PlaylistModel::setCurrentRow(int row)
{
    if (row == m_currentRow)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    for (int r : {old, row})
        if (r >= 0 && r < m_items.size())
            Q_EMIT dataChanged(index(r), index(r), {HighlightRole});
}

void PlaylistModel::setFailed(int row, bool failed)
{
    if (row < 0 || row >= m_items.size())
        return;
    const MediaDesc *item = m_items.at(row).get();
    if (m_failed.contains(item) == failed)
        return;
    if (failed)
        m_failed.insert(item);
    else
        m_failed.remove(item);
    Q_EMIT dataChanged(index(row), index(row), {FailedRole});
}

int PlaylistModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const MediaDescPtr& item = m_items.at(index.row());
    switch (role) {
    case IndexTextRole:
        return QString::number(index.row() + 1);
    case Qt::DisplayRole:
    case TitleRole:
        if (!item->title && !item->artist && item->filePath) {
            const QString title = PlaylistModel::fileTitle(*item->filePath);
            if (!m_storesFileTitles)
                return title;
            item->title = title; // the record's title from now on
        }
        return item->title.value_or(QString());
    case ArtistRole:
        return item->artist.value_or(QString());
    case DurationRole:
        if (!item->duration)
            requestDuration(item);
        return item->duration.value_or(QString());
    case HighlightRole:
        return index.row() == m_currentRow;
    case FailedRole:
        return m_failed.contains(item.get());
    default:
        return {};
    }
}

QString PlaylistModel::fileTitle(const QString& path)
{
    const QString name = FileManager::lastPathComponent(path);
    const QString extension = FileManager::pathExtension(name);
    return extension.isEmpty() ? name : name.chopped(extension.size() + 1);
}

QHash<int, QByteArray> PlaylistModel::roleNames() const
{
    return {{IndexTextRole, "index"},   {TitleRole, "title"},         {ArtistRole, "artist"},
            {DurationRole, "duration"}, {HighlightRole, "highlight"}, {FailedRole, "failed"}};
}

void PlaylistModel::requestDuration(const MediaDescPtr& item) const
{
    if (!item->filePath || m_pending.contains(item.get()))
        return;
    m_pending.insert(item.get());
    const QString path = *item->filePath;
    Dispatch::globalLow(
        [path, item, reader = m_durationReader, weakSelf = std::weak_ptr<PlaylistModel *>(m_self)] {
            std::optional<QString> duration = reader(path);
            Dispatch::main([item, duration = std::move(duration), weakSelf] {
                if (const auto self = weakSelf.lock(); self && *self)
                    (*self)->durationArrived(item, duration);
            });
        });
}

void PlaylistModel::durationArrived(const MediaDescPtr& item,
                                    const std::optional<QString>& duration)
{
    m_pending.remove(item.get());
    // A file that cannot be measured keeps no duration and is tried again the
    // next time its row is shown.
    if (!duration)
        return;
    item->duration = duration;
    const qsizetype row = m_items.indexOf(item);
    if (row >= 0)
        Q_EMIT dataChanged(index(int(row)), index(int(row)), {DurationRole});
}
