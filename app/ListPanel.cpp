#include "app/ListPanel.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>

#include <cstdlib>

ListPanel::ListPanel(QWidget *panel, QPushButton *handle, QObject *parent)
    : QObject(parent), m_panel(panel), m_handle(handle),
      m_animation(new QPropertyAnimation(panel, "geometry", this))
{
    m_animation->setDuration(1000);
    m_handle->installEventFilter(this);
    connect(m_handle, &QPushButton::clicked, this, &ListPanel::toggle);
    setListFocusable(m_panel->height() >= 150);
}

void ListPanel::setListFocusable(bool focusable)
{
    const auto lists = m_panel->findChildren<QAbstractScrollArea *>();
    for (QAbstractScrollArea *list : lists) {
        list->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
        if (!focusable && list->isAncestorOf(QApplication::focusWidget()))
            m_handle->setFocus(Qt::OtherFocusReason);
    }
}

void ListPanel::toggle()
{
    setHeight(m_panel->height() >= 150 ? kFolded : m_unfolded, true);
}

void ListPanel::swipe(bool up)
{
    setHeight(up ? kFolded : m_unfolded, true);
}

void ListPanel::setHeight(int height, bool animated)
{
    const QRect target(0, 80, m_panel->width(), height);
    setListFocusable(height >= 150);
    m_animation->stop();
    if (!animated) {
        m_panel->setGeometry(target);
        return;
    }
    m_animation->setStartValue(m_panel->geometry());
    m_animation->setEndValue(target);
    m_animation->start();
}

void ListPanel::setUnfoldedHeight(int width, int height)
{
    m_unfolded = height;
    const bool animating = m_animation->state() == QAbstractAnimation::Running;
    const int target = animating ? m_animation->endValue().toRect().height() : m_panel->height();
    m_panel->resize(width, m_panel->height());
    setHeight(target >= 150 ? m_unfolded : kFolded, false);
}

bool ListPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_handle)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressAt = static_cast<QMouseEvent *>(event)->position().toPoint();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const int dy = static_cast<QMouseEvent *>(event)->position().toPoint().y() - m_pressAt.y();
        if (std::abs(dy) >= kDragPx) {
            swipe(dy < 0);
            return true; // a drag is not also a click
        }
    }
    return false;
}
