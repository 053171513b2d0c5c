#include "app/DropTarget.h"

#include "ui/Theme.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

DropTarget::DropTarget(QWidget *window, DropHandler onDrop)
    : QLabel(QStringLiteral("Drop to add to the list"), window), m_onDrop(std::move(onDrop))
{
    setObjectName(QStringLiteral("dropTarget"));
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border: 3px solid %3; %4 }")
                      .arg(Theme::css(Theme::kText), Theme::css(Theme::kNoticeFill),
                           Theme::css(Theme::kAccent), Theme::fontRule(Theme::kTitlePx, true)));
    hide();
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QStringList DropTarget::localPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(url.toLocalFile());
    }
    return paths;
}

bool DropTarget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (localPaths(drag->mimeData()).isEmpty()) {
            drag->ignore();
            return true;
        }
        drag->acceptProposedAction();
        if (event->type() == QEvent::DragEnter) {
            setGeometry(parentWidget()->rect());
            show();
            raise();
        }
        return true;
    }
    case QEvent::DragLeave:
        hide();
        return true;
    case QEvent::Drop: {
        hide();
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = localPaths(drop->mimeData());
        if (paths.isEmpty())
            return true;
        drop->acceptProposedAction();
        m_onDrop(paths);
        return true;
    }
    default:
        return QLabel::eventFilter(watched, event);
    }
}
