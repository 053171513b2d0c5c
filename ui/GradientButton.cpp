#include "ui/GradientButton.h"

#include "ui/Theme.h"

#include <QLinearGradient>
#include <QPainter>

GradientButton::GradientButton(QWidget *parent) : QPushButton(parent)
{
    init();
}

GradientButton::GradientButton(const QString& title, QWidget *parent) : QPushButton(title, parent)
{
    init();
}

void GradientButton::init()
{
    // Every pixel is painted here; the parent shows through where the colours
    // are translucent, and the style draws no frame or bevel.
    setFlat(true);
}

void GradientButton::setBackgroundColor(const QColor& color)
{
    m_background = color;
    update();
}

void GradientButton::setTitleColor(const QColor& color)
{
    m_titleColor = color;
    update();
}

void GradientButton::initBorder()
{
    m_border = true;
    update();
}

QGradientStops GradientButton::shineStops()
{
    // QGradient keeps stops ordered by position and does not promise an order for
    // equal positions, so the second half starts a hair below the middle: the jump
    // is still sharper than one pixel at any button height.
    constexpr qreal kJump = 0.5 + 1e-4;
    return {
        {0.0, QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.4f)},
        {0.5, QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.2f)},
        {kJump, QColor::fromRgbF(0.75f, 0.75f, 0.75f, 0.2f)},
        {0.8, QColor::fromRgbF(0.4f, 0.4f, 0.4f, 0.2f)},
        {1.0, QColor::fromRgbF(0.4f, 0.4f, 0.4f, 0.2f)},
    };
}

GradientButton *GradientButton::menuButton(const QString& title, QWidget *parent)
{
    auto *button = new GradientButton(title, parent);
    button->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.9f));
    button->setTitleColor(Theme::kAccent);
    button->setFont(Theme::font(button->font(), Theme::kButtonPx, true));
    return button;
}

QColor GradientButton::highlightColor()
{
    return QColor::fromRgbF(0.25f, 0.25f, 0.25f, 0.75f);
}

QColor GradientButton::borderColor()
{
    return QColor::fromRgbF(1.0f / 3, 1.0f / 3, 1.0f / 3, 1.0f);
}

QSize GradientButton::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    int width = fm.horizontalAdvance(text()) + 20;
    if (!icon().isNull())
        width += iconSize().width() + (text().isEmpty() ? 0 : 4);
    const int height = qMax(fm.height(), icon().isNull() ? 0 : iconSize().height()) + 12;
    return {qMax(width, 44), qMax(height, 30)};
}

QSize GradientButton::minimumSizeHint() const
{
    return {20, 20};
}

void GradientButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();

    if (m_background.alpha() > 0)
        p.fillRect(r, m_background);
    if (isHighlightShown())
        p.fillRect(r, highlightColor());

    QLinearGradient shine(0, 0, 0, r.height());
    shine.setStops(shineStops());
    p.fillRect(r, shine);

    if (m_border) {
        p.setPen(QPen(borderColor(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }

    QColor title = m_titleColor;
    if (!isEnabled())
        title.setAlphaF(title.alphaF() / 2);

    // Keyboard focus gets a visible ring; focus that came from a click does not.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        QColor ring = title;
        ring.setAlphaF(ring.alphaF() * 0.7f);
        p.setPen(QPen(ring, 1, Qt::DotLine));
        p.drawRect(r.adjusted(2, 2, -3, -3));
    }

    QRect content = r.adjusted(4, 0, -4, 0);
    if (!icon().isNull()) {
        const QSize size = iconSize();
        const int textWidth = text().isEmpty() ? 0 : p.fontMetrics().horizontalAdvance(text()) + 4;
        const int left = content.left() + qMax(0, (content.width() - size.width() - textWidth) / 2);
        const QRect iconRect(QPoint(left, r.center().y() - size.height() / 2 + 1), size);
        icon().paint(&p, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        if (textWidth == 0)
            return;
        content.setLeft(iconRect.right() + 5);
        content.setWidth(textWidth);
    }
    if (!text().isEmpty()) {
        p.setPen(title);
        p.setFont(font());
        const QString shown = p.fontMetrics().elidedText(text(), Qt::ElideRight, content.width());
        p.drawText(content, Qt::AlignCenter | Qt::TextShowMnemonic, shown);
    }
}
