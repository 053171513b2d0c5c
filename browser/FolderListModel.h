#pragma once

// The browser's table: the rows of one FolderListing, either all of them or the
// search results, with what each row's cell shows. The model never touches the
// disk: a row's kind comes from the listing.
//
// Roles: Qt::DisplayRole the entry's name; IconRole "folderIcon" or "fileIcon";
// AccessoryRole in edit mode "selRow" for a selected row, else "unSelRow", and
// nothing in browse mode; FullPathRole the listing's folder joined with the name.
// An entry whose name is not valid UTF-8 is dimmed (Qt::ForegroundRole) and says
// why in its tool tip.
//
// Main thread only.

#include "services/FolderListing.h"

#include <QAbstractListModel>
#include <QSet>
#include <memory>
#include <optional>

class FolderListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IconRole = Qt::UserRole + 1, AccessoryRole, FullPathRole, IsFolderRole };

    explicit FolderListModel(QObject *parent = nullptr);

    // Shows every entry of listing; resets the model.
    void setListing(std::shared_ptr<const FolderListing> listing);
    const FolderListing& listing() const { return *m_listing; }
    // Rows of the listing to show, in order; nullopt shows them all. Resets the model.
    void setRows(std::optional<QList<int>> rows);
    // The markers shown on every row; refreshes them.
    void setEditMode(bool editMode, QSet<QString> selectedPaths);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    QString name(int row) const;
    QString fullPath(int row) const;
    bool isFolder(int row) const;
    // False for an entry whose name is not valid UTF-8: it cannot be used.
    bool nameIsExact(int row) const;

private:
    const FileManager::DirectoryEntry *entry(int row) const;

    std::shared_ptr<const FolderListing> m_listing;
    std::optional<QList<int>> m_rows;
    bool m_editMode = false;
    QSet<QString> m_selected; // full paths
};
