#include "playlists/CAPlaylistCell.h"

#include "playlists/PlaylistModel.h"

#include <QPainter>

namespace {

struct Label {
    QRect frame;
    Qt::Alignment alignment;
    int pointSize;
    bool bold;
    int minimumPointSize; // only the number shrinks to fit
};

// Frames relative to the row's left edge.
const Label kIndex{{0, 5, 31, 30}, Qt::AlignCenter, 15, false, 8};
const Label kArtist{{39, 0, 228, 20}, Qt::AlignLeft | Qt::AlignVCenter, 15, false, 15};
const Label kTitle{{39, 19, 228, 20}, Qt::AlignLeft | Qt::AlignVCenter, 13, true, 13};
const Label kDuration{{270, 5, 41, 30}, Qt::AlignRight | Qt::AlignVCenter, 15, false, 15};

void drawLabel(QPainter *painter, const QRect& row, const Label& label, const QString& text,
               const QColor& color)
{
    if (text.isEmpty())
        return;
    QFont font = painter->font();
    font.setPixelSize(label.pointSize);
    font.setBold(label.bold);
    const QRect frame = label.frame.translated(row.topLeft());
    while (font.pixelSize() > label.minimumPointSize &&
           QFontMetrics(font).horizontalAdvance(text) > frame.width())
        font.setPixelSize(font.pixelSize() - 1);
    painter->setFont(font);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, frame.width());
    painter->setPen(Qt::black); // shadow one pixel below
    painter->drawText(frame.translated(0, 1), int(label.alignment), shown);
    painter->setPen(color);
    painter->drawText(frame, int(label.alignment), shown);
}

} // namespace

QColor CAPlaylistCell::textColor(bool highlighted)
{
    // Red 1, green 0.498, blue 0: the orange of the current item.
    return highlighted ? QColor::fromRgbF(1.0f, 0.498f, 0.0f) : QColor::fromRgbF(0.9f, 0.9f, 0.9f);
}

void CAPlaylistCell::paint(QPainter *painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const
{
    painter->save();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, QColor(255, 255, 255, 40));
    const QColor color = textColor(index.data(PlaylistModel::HighlightRole).toBool());
    const QRect row = option.rect;
    drawLabel(painter, row, kIndex, index.data(PlaylistModel::IndexTextRole).toString(), color);
    drawLabel(painter, row, kArtist, index.data(PlaylistModel::ArtistRole).toString(), color);
    drawLabel(painter, row, kTitle, index.data(PlaylistModel::TitleRole).toString(), color);
    drawLabel(painter, row, kDuration, index.data(PlaylistModel::DurationRole).toString(), color);
    painter->setPen(QColor(255, 127, 0, 90)); // separator
    painter->drawLine(row.bottomLeft(), row.bottomRight());
    painter->restore();
}

QSize CAPlaylistCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), kRowHeight};
}
