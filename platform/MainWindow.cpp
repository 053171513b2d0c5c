#include "platform/MainWindow.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace {
QPointer<QWidget> g_window; // main thread only

bool isPlainWindow(const QWidget *widget)
{
    return widget && widget->isWindow() && widget->windowType() == Qt::Window;
}
} // namespace

void MainWindow::set(QWidget *window)
{
    if (window)
        g_window = window->window();
}

QWidget *MainWindow::get()
{
    if (g_window)
        return g_window;
    if (QWidget *active = QApplication::activeWindow(); isPlainWindow(active))
        return active;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (isPlainWindow(widget) && widget->isVisible())
            return widget;
    return nullptr;
}
