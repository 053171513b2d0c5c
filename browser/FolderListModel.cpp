#include "browser/FolderListModel.h"

#include "ui/Theme.h"

FolderListModel::FolderListModel(QObject *parent)
    : QAbstractListModel(parent), m_listing(std::make_shared<FolderListing>())
{}

void FolderListModel::setListing(std::shared_ptr<const FolderListing> listing)
{
    beginResetModel();
    m_listing = listing ? std::move(listing) : std::make_shared<FolderListing>();
    m_rows.reset();
    endResetModel();
}

void FolderListModel::setRows(std::optional<QList<int>> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void FolderListModel::setEditMode(bool editMode, QSet<QString> selectedPaths)
{
    m_editMode = editMode;
    m_selected = std::move(selectedPaths);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), {AccessoryRole});
}

int FolderListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_rows ? m_rows->size() : m_listing->entries().size());
}

const FileManager::DirectoryEntry *FolderListModel::entry(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &m_listing->entries().at(m_rows ? m_rows->at(row) : row);
}

QString FolderListModel::name(int row) const
{
    const FileManager::DirectoryEntry *e = entry(row);
    return e ? e->name : QString();
}

QString FolderListModel::fullPath(int row) const
{
    const FileManager::DirectoryEntry *e = entry(row);
    return e ? FileManager::appendingPathComponent(m_listing->path(), e->name) : QString();
}

bool FolderListModel::nameIsExact(int row) const
{
    const FileManager::DirectoryEntry *e = entry(row);
    return e && e->nameIsExact;
}

bool FolderListModel::isFolder(int row) const
{
    const FileManager::DirectoryEntry *e = entry(row);
    return e && e->isFolder;
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const
{
    const FileManager::DirectoryEntry *e = entry(index.row());
    if (!e || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return e->name;
    case IconRole:
        return e->isFolder ? QStringLiteral("folderIcon") : QStringLiteral("fileIcon");
    case AccessoryRole:
        if (!m_editMode)
            return {};
        return m_selected.contains(fullPath(index.row())) ? QStringLiteral("selRow")
                                                          : QStringLiteral("unSelRow");
    case FullPathRole:
        return fullPath(index.row());
    case IsFolderRole:
        return e->isFolder;
    case Qt::ForegroundRole:
        return e->nameIsExact ? QVariant() : QVariant(Theme::kDisabledText);
    case Qt::ToolTipRole:
        return e->nameIsExact ? QVariant() : FileManager::inexactNamesMessage({e->name});
    default:
        return {};
    }
}
