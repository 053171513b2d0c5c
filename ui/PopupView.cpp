#include "ui/PopupView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QRegion>

PopupView::PopupView(QWidget *parent) : QWidget(parent) {}

PopupView::PopupView(const QRect& frame, QWidget *parent) : QWidget(parent)
{
    setFrame(frame);
}

void PopupView::setFrame(const QRect& frame)
{
    setGeometry(frame.x(), frame.y(), frame.width(), frame.height() + kTailDepth);
}

QRect PopupView::frame() const
{
    return {pos(), QSize(width(), qMax(0, height() - kTailDepth))};
}

void PopupView::setBackgroundColor(const QColor& color)
{
    m_background = color;
    update();
}

void PopupView::focusFirstEntry()
{
    if (auto *first = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly))
        first->setFocus(Qt::PopupFocusReason);
}

void PopupView::moveEntryFocus(int step)
{
    const auto entries = findChildren<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    if (entries.isEmpty())
        return;
    const qsizetype count = entries.size();
    const qsizetype at =
        entries.indexOf(qobject_cast<QAbstractButton *>(QApplication::focusWidget()));
    const qsizetype next = at < 0 ? 0 : ((at + step) % count + count) % count;
    entries[next]->setFocus(Qt::TabFocusReason);
}

QColor PopupView::fillColor()
{
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.8f);
}

QColor PopupView::strokeColor()
{
    return QColor::fromRgbF(2.0f / 3, 2.0f / 3, 2.0f / 3, 1.0f);
}

QPainterPath PopupView::outline() const
{
    const qreal w = width();
    const qreal h = height() - kTailDepth;
    const qreal mid = w / 2;
    constexpr qreal in = 0.5; // half the stroke width
    QPainterPath path;
    path.moveTo(in, in);
    path.lineTo(w - in, in);
    path.lineTo(w - in, h - in);
    path.lineTo(mid, h - in);
    path.lineTo(mid - kTailTipOffset, h + kTailDepth - in);
    path.lineTo(mid - kTailWidth, h - in);
    path.lineTo(in, h - in);
    path.closeSubpath();
    return path;
}

void PopupView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The mask covers the frame and the tail grown by two pixels, so it never cuts
    // the tail's anti-aliased edge, while clicks beside the tail pass through.
    const qreal h = height() - kTailDepth;
    const qreal mid = width() / 2.0;
    constexpr qreal grow = 2.5;
    const QPolygonF tail{{mid + grow, h - 1},
                         {mid - kTailTipOffset, h + kTailDepth + grow},
                         {mid - kTailWidth - grow, h - 1}};
    QRegion mask(0, 0, width(), int(h) + 1);
    mask += QRegion(tail.toPolygon(), Qt::WindingFill);
    setMask(mask);
}

void PopupView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_background.alpha() > 0)
        p.fillRect(QRect(0, 0, width(), height() - kTailDepth), m_background);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(strokeColor(), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(fillColor());
    p.drawPath(outline());
}
