#include "browser/FolderCellDelegate.h"

#include "browser/FolderListModel.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QPainter>

namespace {
constexpr int kIconSide = 36;
constexpr int kMarkerSide = 26;
constexpr int kMargin = 6;
} // namespace

QPixmap FolderCellDelegate::image(const QString& name, int side, qreal dpr) const
{
    const QString key = QStringLiteral("%1/%2/%3").arg(name).arg(side).arg(dpr);
    auto it = m_images.constFind(key);
    if (it == m_images.constEnd())
        it = m_images.insert(key, Icons::pixmap(name, QSize(side, side), dpr));
    return *it;
}

void FolderCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QRect r = option.rect;
    const qreal dpr = painter->device()->devicePixelRatioF();
    painter->save();
    if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus))
        painter->fillRect(r, Theme::kAccentFill);

    const int iconTop = r.top() + (r.height() - kIconSide) / 2;
    painter->drawPixmap(r.left() + kMargin, iconTop,
                        image(index.data(FolderListModel::IconRole).toString(), kIconSide, dpr));
    int textRight = r.right() - kMargin;
    const QString marker = index.data(FolderListModel::AccessoryRole).toString();
    if (!marker.isEmpty()) {
        const int left = r.right() - kMargin - kMarkerSide;
        painter->drawPixmap(left, r.top() + (r.height() - kMarkerSide) / 2,
                            image(marker, kMarkerSide, dpr));
        textRight = left - kMargin;
    }

    painter->setFont(Theme::font(option.font, Theme::kRowPx, true));
    const QRect textRect(r.left() + 2 * kMargin + kIconSide, r.top(),
                         textRight - (r.left() + 2 * kMargin + kIconSide), r.height() - 1);
    // Names may hold line breaks; the row shows them as spaces.
    QString name = index.data(Qt::DisplayRole).toString();
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString shown =
        painter->fontMetrics().elidedText(name, Qt::ElideMiddle, textRect.width());
    painter->setPen(Qt::black);
    painter->drawText(textRect.translated(0, 1), Qt::AlignVCenter | Qt::AlignLeft, shown);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->setPen(foreground.isValid() ? foreground.value<QColor>()
                                         : QColor::fromRgbF(0.9f, 0.9f, 0.9f, 1.0f));
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, shown);

    painter->setPen(Theme::kAccent);
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter->restore();
}

QSize FolderCellDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {320, kHeight};
}
