#include "ui/ScreenStack.h"

#include "platform/MainWindow.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/SlideTransition.h"

ScreenStack::ScreenStack(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("screenStack"));
    MainWindow::set(this);
}

ScreenStack::~ScreenStack() = default;

ScreenStack *ScreenStack::of(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *stack = qobject_cast<ScreenStack *>(const_cast<QWidget *>(w)))
            return stack;
    }
    return nullptr;
}

void ScreenStack::setRootScreen(QWidget *screen)
{
    if (m_root == screen)
        return;
    delete m_root;
    m_root = screen;
    if (!screen)
        return;
    screen->setParent(this);
    screen->setGeometry(rect());
    screen->lower();
    screen->setVisible(presented().isEmpty());
}

QList<NavigationController *> ScreenStack::presented() const
{
    QList<NavigationController *> list;
    for (const QPointer<NavigationController>& nav : m_stack) {
        if (nav)
            list.append(nav);
    }
    return list;
}

NavigationController *ScreenStack::topController() const
{
    const QList<NavigationController *> list = presented();
    return list.isEmpty() ? nullptr : list.constLast();
}

QWidget *ScreenStack::topWidget() const
{
    if (NavigationController *nav = topController())
        return nav;
    return m_root;
}

NavigationController *ScreenStack::present(QWidget *screen, const QString& title)
{
    if (!screen)
        return nullptr;
    if (!title.isEmpty())
        NavigationItem::of(screen)->setTitle(title);
    auto *nav = new NavigationController(screen);
    present(nav);
    return nav;
}

void ScreenStack::present(NavigationController *controller)
{
    if (!controller || m_stack.contains(controller))
        return;
    finishAnimations();
    controller->setParent(this);
    controller->setGeometry(rect().translated(0, height()));
    controller->show();
    controller->raise();
    m_stack.append(controller);
    controller->focusTopScreen();
    Q_EMIT didPresent(controller);

    auto *transition =
        SlideTransition::start(this, {{controller, QPoint(0, height()), QPoint(0, 0)}}, kSlideMs,
                               [this] { hideCovered(); });
    if (transition)
        m_transitions.append(transition);
}

void ScreenStack::hideCovered()
{
    QWidget *top = topWidget();
    if (m_root && m_root != top)
        m_root->hide();
    for (NavigationController *nav : presented()) {
        if (nav != top)
            nav->hide();
    }
}

void ScreenStack::dismiss()
{
    dismiss(topController());
}

void ScreenStack::dismiss(NavigationController *controller)
{
    if (!controller)
        return;
    const qsizetype index = m_stack.indexOf(controller);
    if (index < 0)
        return;
    finishAnimations();
    QList<QPointer<NavigationController>> leaving = m_stack.mid(index);
    m_stack.remove(index, m_stack.size() - index);

    // Only the topmost leaving controller is visible; it slides down and uncovers
    // the new top, which is shown under it first.
    QPointer<NavigationController> sliding = leaving.constLast();
    for (const QPointer<NavigationController>& nav : leaving) {
        if (nav && nav != sliding)
            nav->hide();
    }
    if (QWidget *uncovered = topWidget()) {
        uncovered->move(0, 0);
        uncovered->show();
        if (auto *nav = qobject_cast<NavigationController *>(uncovered))
            nav->focusTopScreen();
        else if (uncovered->focusWidget())
            uncovered->focusWidget()->setFocus(Qt::OtherFocusReason);
        else
            uncovered->setFocus(Qt::OtherFocusReason);
    }
    Q_EMIT didDismiss();

    auto *transition = SlideTransition::start(
        this, {{sliding.data(), QPoint(0, 0), QPoint(0, height())}}, kSlideMs, [leaving] {
            for (const QPointer<NavigationController>& nav : leaving) {
                if (!nav)
                    continue;
                nav->hide();
                nav->deleteLater();
            }
        });
    if (transition)
        m_transitions.append(transition);
}

bool ScreenStack::isAnimating() const
{
    for (const QPointer<SlideTransition>& transition : m_transitions) {
        if (transition && transition->isRunning())
            return true;
    }
    return false;
}

void ScreenStack::finishAnimations()
{
    const QList<QPointer<SlideTransition>> running = m_transitions;
    m_transitions.clear();
    for (const QPointer<SlideTransition>& transition : running) {
        if (transition)
            transition->finish();
    }
    for (NavigationController *nav : presented())
        nav->finishAnimation();
}

void ScreenStack::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    finishAnimations();
    if (m_root)
        m_root->setGeometry(rect());
    for (NavigationController *nav : presented())
        nav->setGeometry(rect());
}

void ScreenStack::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The stack may have been put into its window after it was made.
    MainWindow::set(this);
}
