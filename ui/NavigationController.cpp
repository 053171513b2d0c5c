#include "ui/NavigationController.h"

#include "ui/NavigationBar.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"
#include "ui/SlideTransition.h"

#include <QKeyEvent>
#include <QPainter>

NavigationController::NavigationController(QWidget *rootScreen, QWidget *parent)
    : QWidget(parent), m_background(Qt::black)
{
    Q_ASSERT(rootScreen);
    setObjectName(QStringLiteral("navigationController"));
    m_bar = new NavigationBar(this);
    connect(m_bar, &NavigationBar::backRequested, this, &NavigationController::pop);
    adopt(rootScreen);
    rootScreen->show();
    showTopItem();
}

NavigationController::~NavigationController()
{
    // The bar goes first so that it hands borrowed widgets back to their screens
    // while those still exist.
    delete m_bar;
    m_bar = nullptr;
    for (QWidget *screen : std::as_const(m_screens))
        disconnect(screen, nullptr, this, nullptr);
}

NavigationController *NavigationController::of(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *nav = qobject_cast<NavigationController *>(const_cast<QWidget *>(w)))
            return nav;
    }
    return nullptr;
}

QRect NavigationController::screenRect() const
{
    return {0, NavigationBar::kHeight, width(), qMax(0, height() - NavigationBar::kHeight)};
}

void NavigationController::adopt(QWidget *screen)
{
    screen->setParent(this);
    screen->setGeometry(screenRect());
    m_screens.append(screen);
    connect(screen, &QObject::destroyed, this, [this, screen] {
        const bool wasTop = topScreen() == screen;
        m_screens.removeOne(screen);
        QWidget *top = topScreen();
        if (!wasTop || !top)
            return;
        top->move(screenRect().topLeft());
        top->show();
        showTopItem();
        Q_EMIT topScreenChanged(top);
    });
}

void NavigationController::showTopItem()
{
    QWidget *top = topScreen();
    QWidget *below = m_screens.size() > 1 ? m_screens.at(m_screens.size() - 2) : nullptr;
    m_bar->setItem(top ? NavigationItem::of(top) : nullptr,
                   below ? NavigationItem::of(below) : nullptr);
}

void NavigationController::focusTopScreen()
{
    QWidget *top = topScreen();
    if (!top)
        return;
    // Back on a screen, focus returns to the widget that last had it there.
    QWidget *target = top->focusWidget() ? top->focusWidget() : top;
    target->setFocus(Qt::OtherFocusReason);
}

void NavigationController::push(QWidget *screen)
{
    if (!screen || m_screens.contains(screen))
        return;
    finishAnimation();
    QWidget *below = topScreen();
    adopt(screen);
    screen->show();
    screen->raise();
    showTopItem();
    Q_EMIT topScreenChanged(screen);
    focusTopScreen();

    const QPoint origin = screenRect().topLeft();
    const QPoint right(width(), 0);
    QPointer<QWidget> covered = below;
    m_transition = SlideTransition::start(
        this, {{screen, origin + right, origin}, {below, origin, origin - right}}, kSlideMs,
        [this, covered] {
            if (covered && covered != topScreen()) {
                covered->hide();
                covered->move(screenRect().topLeft());
            }
        });
}

void NavigationController::pop()
{
    popTo(depth() - 1);
}

void NavigationController::popToRoot()
{
    popTo(1);
}

void NavigationController::popTo(int newDepth)
{
    if (newDepth < 1 || newDepth >= depth())
        return;
    finishAnimation();
    QList<QPointer<QWidget>> leaving;
    while (depth() > newDepth) {
        QWidget *screen = m_screens.takeLast();
        disconnect(screen, nullptr, this, nullptr);
        leaving.append(screen);
    }
    QWidget *top = topScreen();
    QWidget *outgoing = leaving.constFirst();
    const QPoint origin = screenRect().topLeft();
    const QPoint right(width(), 0);
    top->move(origin - right);
    top->show();
    showTopItem();
    Q_EMIT topScreenChanged(top);
    focusTopScreen();

    m_transition = SlideTransition::start(
        this, {{outgoing, origin, origin + right}, {top, origin - right, origin}}, kSlideMs,
        [leaving] {
            for (const QPointer<QWidget>& screen : leaving) {
                if (!screen)
                    continue;
                screen->hide();
                screen->deleteLater();
            }
        });
}

void NavigationController::dismiss()
{
    if (ScreenStack *stack = ScreenStack::of(this))
        stack->dismiss(this);
}

void NavigationController::setBackgroundBrush(const QBrush& brush)
{
    m_background = brush;
    update();
}

void NavigationController::finishAnimation()
{
    if (m_transition)
        m_transition->finish();
}

void NavigationController::keyPressEvent(QKeyEvent *event)
{
    const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    const bool back = event->key() == Qt::Key_Left && event->modifiers() == Qt::AltModifier;
    if (escape || back) {
        if (depth() > 1)
            pop();
        else if (escape)
            dismiss();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void NavigationController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    finishAnimation();
    m_bar->setGeometry(0, 0, width(), NavigationBar::kHeight);
    for (QWidget *screen : std::as_const(m_screens))
        screen->setGeometry(screenRect());
}

void NavigationController::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
}
