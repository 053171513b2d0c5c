#pragma once

// Makes a window take files and folders dragged onto it from a file manager.
// While a drag that holds at least one local file URL is over the window, a frame
// with "Drop to add to the list" covers it; a drop hands the local paths, in the
// drag's order, to the handler. Other URLs (remote, or not files) are left out; a
// drag with none that is local is refused, so the desktop shows it cannot drop.
//
// The label is a child of the window (in front of its other children, letting the
// mouse through); it watches the window's drag events. Main thread only.

#include <QLabel>
#include <QStringList>
#include <functional>

class QMimeData;

class DropTarget : public QLabel {
    Q_OBJECT
public:
    using DropHandler = std::function<void(const QStringList& paths)>;
    DropTarget(QWidget *window, DropHandler onDrop);

    // The local file paths a drag carries, in its order; empty when it carries none.
    static QStringList localPaths(const QMimeData *data);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    DropHandler m_onDrop;
};
