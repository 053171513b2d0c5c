#include "playlists/CAPlaylistCell.h"

#include "playlists/PlaylistModel.h"
#include "ui/Theme.h"

#include <QPainter>

namespace {

struct Label {
    int left;       // from the row's left edge; negative: from its right edge
    int top, width; // width 0: up to the length's frame, less kGap
    int height;
    Qt::Alignment alignment;
    int pixelSize;
    bool bold;
    int minimumPixelSize; // the number and the length shrink to fit
};

constexpr int kRightMargin = 9;
constexpr int kDurationWidth = 48; // "59:59" at 15 px
constexpr int kGap = 3;

const Label kIndex{0, 5, 31, 30, Qt::AlignCenter, 15, false, 8};
const Label kArtist{39, 0, 0, 20, Qt::AlignLeft | Qt::AlignVCenter, 15, false, 15};
const Label kTitle{39, 19, 0, 20, Qt::AlignLeft | Qt::AlignVCenter, 13, true, 13};
const Label kDuration{-(kRightMargin + kDurationWidth),  5,  kDurationWidth, 30,
                      Qt::AlignRight | Qt::AlignVCenter, 15, false,          15};

const Label& label(CAPlaylistCell::Field field)
{
    switch (field) {
    case CAPlaylistCell::Field::Index:
        return kIndex;
    case CAPlaylistCell::Field::Artist:
        return kArtist;
    case CAPlaylistCell::Field::Title:
        return kTitle;
    case CAPlaylistCell::Field::Duration:
        break;
    }
    return kDuration;
}

void drawLabel(QPainter *painter, const QRect& row, CAPlaylistCell::Field field,
               const QModelIndex& index, int role, const QColor& color)
{
    const QString text = index.data(role).toString();
    if (text.isEmpty())
        return;
    const CAPlaylistCell::Shown shown = CAPlaylistCell::shown(field, text, row, painter->font(),
                                                              CAPlaylistCell::isBold(field, index));
    const int flags = int(label(field).alignment) | Qt::TextSingleLine;
    painter->setFont(shown.font);
    CAPlaylistCell::drawShadowedText(painter, shown.frame, flags, shown.text, color);
}

} // namespace

CAPlaylistCell::Shown CAPlaylistCell::shown(Field field, const QString& text, const QRect& row,
                                            const QFont& base, std::optional<bool> bold)
{
    const Label& l = label(field);
    const int durationLeft = row.right() + 1 + kDuration.left;
    const int left = l.left >= 0 ? row.left() + l.left : row.right() + 1 + l.left;
    const int width = l.width > 0 ? l.width : qMax(0, durationLeft - kGap - left);
    Shown result{QRect(left, row.top() + l.top, width, l.height), base, text};
    // A tag may hold line breaks; a row has room for one line per field.
    result.text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    result.text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    result.font.setPixelSize(l.pixelSize);
    result.font.setBold(bold.value_or(l.bold));
    while (result.font.pixelSize() > l.minimumPixelSize &&
           QFontMetrics(result.font).horizontalAdvance(result.text) > width)
        result.font.setPixelSize(result.font.pixelSize() - 1);
    result.text = QFontMetrics(result.font).elidedText(result.text, Qt::ElideRight, width);
    return result;
}

bool CAPlaylistCell::isBold(Field field, const QModelIndex& index)
{
    const bool nameRow = index.data(PlaylistModel::NameRowRole).toBool();
    return field == Field::Title ? !nameRow : field == Field::Artist && nameRow;
}

void CAPlaylistCell::drawShadowedText(QPainter *painter, const QRect& frame, int flags,
                                      const QString& text, const QColor& color)
{
    painter->setPen(Qt::black);
    painter->drawText(frame.translated(0, 1), flags, text);
    painter->setPen(color);
    painter->drawText(frame, flags, text);
}

QColor CAPlaylistCell::textColor(bool highlighted, bool failed)
{
    // Red 1, green 0.498, blue 0: the orange of the current item.
    QColor color =
        highlighted ? QColor::fromRgbF(1.0f, 0.498f, 0.0f) : QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    if (failed)
        color.setAlphaF(0.4f);
    return color;
}

void CAPlaylistCell::paint(QPainter *painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const
{
    painter->save();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, Theme::kSelectionFill);
    const QColor color = textColor(index.data(PlaylistModel::HighlightRole).toBool(),
                                   index.data(PlaylistModel::FailedRole).toBool());
    const QRect row = option.rect;
    drawLabel(painter, row, Field::Index, index, PlaylistModel::IndexTextRole, color);
    drawLabel(painter, row, Field::Artist, index, PlaylistModel::ArtistRole, color);
    drawLabel(painter, row, Field::Title, index, PlaylistModel::TitleRole, color);
    drawLabel(painter, row, Field::Duration, index, PlaylistModel::DurationRole, color);
    painter->setPen(Theme::kAccentRule);
    painter->drawLine(row.bottomLeft(), row.bottomRight());
    painter->restore();
}

QSize CAPlaylistCell::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    // No width of its own: a list gives its rows the viewport's width, and a wider
    // hint would push the right edge under the scroll bar.
    return {0, kRowHeight};
}
