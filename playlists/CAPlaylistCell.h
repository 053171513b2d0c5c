#pragma once

// Paints one row of a song list: the number at the left, the artist above the
// title in the middle, the length at the right. Rows are 40 px high. Reads the
// roles of PlaylistModel (IndexTextRole, TitleRole, ArtistRole, DurationRole,
// HighlightRole); a highlighted row is painted orange, others light grey.
//
// Main thread only.

#include <QStyledItemDelegate>

class CAPlaylistCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 40;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QColor textColor(bool highlighted);
};
