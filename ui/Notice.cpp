#include "ui/Notice.h"

#include "platform/MainWindow.h"
#include "ui/Theme.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace {
constexpr int kMarginPx = 16; // from the window's sides and bottom
}

Notice *Notice::showOver(QWidget *over, const QString& text)
{
    QWidget *window = over->window();
    delete shownIn(window);
    auto *notice = new Notice(text, window);
    notice->show();
    notice->raise();
    return notice;
}

Notice *Notice::showInMainWindow(const QString& text)
{
    QWidget *window = MainWindow::get();
    return window ? showOver(window, text) : nullptr;
}

Notice *Notice::shownIn(const QWidget *over)
{
    return over->window()->findChild<Notice *>(QString(), Qt::FindDirectChildrenOnly);
}

Notice::Notice(const QString& text, QWidget *window) : QLabel(text, window)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setFont(Theme::font(font(), Theme::kCaptionPx, false));
    setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 8px;"
                                 " padding: 8px 12px; }")
                      .arg(Theme::css(Theme::kText), Theme::css(Theme::kNoticeFill)));
    ensurePolished(); // the style sheet's padding counts in the height
    const int width = window->width() - 2 * kMarginPx;
    resize(width, heightForWidth(width));
    move(kMarginPx, window->height() - height() - kMarginPx);

    auto *opacity = new QGraphicsOpacityEffect(this);
    opacity->setOpacity(1.0);
    setGraphicsEffect(opacity);
    m_fade = new QPropertyAnimation(opacity, "opacity", this);
    m_fade->setDuration(kFadeMs);
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, &QObject::deleteLater);
    QTimer::singleShot(kShownMs, this, &Notice::fadeOut);
}

void Notice::fadeOut()
{
    m_fade->start();
}
