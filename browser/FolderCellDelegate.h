#pragma once

// Paints the browser's rows (FolderListModel): the kind's icon on the left, the
// name in bold 15-pixel white at 0.9 with a black shadow one pixel down, the
// selection marker on the right in edit mode, and an orange separator under each
// row. Every row is kHeight pixels high; images are drawn once and cached.
//
// Main thread only.

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

class FolderCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kHeight = 44;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QPixmap image(const QString& name, int side, qreal dpr) const;

    mutable QHash<QString, QPixmap> m_images; // by name, side and pixel ratio
};
