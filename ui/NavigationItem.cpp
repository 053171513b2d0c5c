#include "ui/NavigationItem.h"

#include <QAbstractButton>
#include <QWidget>

NavigationItem::NavigationItem(QWidget *screen) : QObject(screen)
{
    setObjectName(QStringLiteral("navigationItem"));
}

NavigationItem::~NavigationItem()
{
    // Widgets the bar borrowed are not children of the screen any more.
    delete m_titleWidget;
    delete m_left;
    delete m_right;
}

NavigationItem *NavigationItem::of(QWidget *screen)
{
    Q_ASSERT(screen);
    if (NavigationItem *item = find(screen))
        return item;
    return new NavigationItem(screen);
}

NavigationItem *NavigationItem::find(const QWidget *screen)
{
    if (!screen)
        return nullptr;
    return screen->findChild<NavigationItem *>(QString(), Qt::FindDirectChildrenOnly);
}

QWidget *NavigationItem::screen() const
{
    return static_cast<QWidget *>(parent());
}

void NavigationItem::setTitle(const QString& title)
{
    if (m_title == title)
        return;
    m_title = title;
    Q_EMIT changed();
}

void NavigationItem::setBackButtonTitle(const QString& title)
{
    m_backTitle = title;
    Q_EMIT changed();
}

QString NavigationItem::backButtonTitle() const
{
    if (!m_backTitle.isEmpty())
        return m_backTitle;
    return m_title.isEmpty() ? QStringLiteral("Back") : m_title;
}

void NavigationItem::adopt(QWidget *old, QWidget *widget)
{
    // The old widget may be the button whose click handler is replacing it.
    if (old) {
        old->hide();
        old->deleteLater();
    }
    if (widget) {
        widget->setParent(screen());
        widget->hide();
    }
}

void NavigationItem::setTitleWidget(QWidget *widget)
{
    if (m_titleWidget == widget)
        return;
    QWidget *old = m_titleWidget;
    m_titleWidget = widget;
    if (widget)
        m_titleSize = widget->testAttribute(Qt::WA_Resized) ? widget->size() : widget->sizeHint();
    adopt(old, widget);
    Q_EMIT changed();
}

void NavigationItem::setLeftButton(QAbstractButton *button)
{
    if (m_left == button)
        return;
    QWidget *old = m_left;
    m_left = button;
    adopt(old, button);
    Q_EMIT changed();
}

void NavigationItem::setRightButton(QAbstractButton *button)
{
    if (m_right == button)
        return;
    QWidget *old = m_right;
    m_right = button;
    adopt(old, button);
    Q_EMIT changed();
}

void NavigationItem::reclaimWidgets()
{
    for (QWidget *w : {m_titleWidget.data(), static_cast<QWidget *>(m_left.data()),
                       static_cast<QWidget *>(m_right.data())}) {
        if (!w)
            continue;
        if (w->parentWidget() != screen())
            w->setParent(screen());
        w->hide();
    }
}
