#include "ui/Theme.h"

namespace Theme {

QString css(const QColor& color)
{
    if (color.alpha() == 255)
        return color.name();
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QString css(const Gloss& gloss)
{
    return QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:0.5 %2,"
                          " stop:0.501 %3, stop:1 %4)")
        .arg(css(gloss.top), css(gloss.upperMiddle), css(gloss.lowerMiddle), css(gloss.bottom));
}

QString css(const Fade& fade)
{
    return QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
        .arg(css(fade.top), css(fade.bottom));
}

QString fontRule(int px, bool bold)
{
    return (bold ? QStringLiteral("font-weight: bold; ") : QString()) +
           QStringLiteral("font-size: %1px;").arg(px);
}

QFont font(QFont base, int px, bool bold)
{
    base.setPixelSize(px);
    base.setBold(bold);
    return base;
}

QString focusRing(const QString& selector, int width, const QColor& color)
{
    return QStringLiteral("%1:focus { border: %2px solid %3; }")
        .arg(selector)
        .arg(width)
        .arg(css(color));
}

QString flatIconButton()
{
    return QStringLiteral("QPushButton { border: none; background: transparent; }") +
           focusRing(QStringLiteral("QPushButton"), 1);
}

QString trackSlider()
{
    return QStringLiteral("QSlider::groove:horizontal { height: 9px; border-width: 0 9px 0 10px;"
                          " border-image: url(:/icons/sliderCover.svg) 0 9 0 10 stretch; }"
                          "QSlider::sub-page:horizontal { height: 9px; border-width: 0 9px 0 10px;"
                          " border-image: url(:/icons/fullSlider.svg) 0 9 0 10 stretch; }"
                          "QSlider::handle:horizontal { image: url(:/icons/hand.svg); width: 22px;"
                          " height: 22px; margin: -7px 0; }"
                          "QSlider { border: 1px solid transparent; }") +
           focusRing(QStringLiteral("QSlider"), 1);
}

QString darkList(bool bold, const QString& extra)
{
    return QStringLiteral("QListWidget { background: %1; color: %2; %3 %4}")
        .arg(css(kBlack), css(kRowText), fontRule(kRowPx, bold), extra);
}

QString separatedRows(const QColor& separator, const QString& extra)
{
    return QStringLiteral("QListWidget::item { border-bottom: 1px solid %1; min-height: %2px; %3}")
        .arg(css(separator))
        .arg(kRowHeight)
        .arg(extra);
}

QString groupedList(const QString& itemRule, const QString& background)
{
    return QStringLiteral("QListWidget { background: %1 %2; border: none; outline: none; }"
                          "QListWidget::item { background: %3; %4 }"
                          "QListWidget::item:disabled { background: transparent; border: none; }")
               .arg(css(kGrouped), background, css(kCell), itemRule) +
           focusRing(QStringLiteral("QListWidget::item"), 2);
}

QString deleteButton(bool bold)
{
    return QStringLiteral("QPushButton { color: %1; background: %2; border-radius: 4px;"
                          " padding: 4px 8px; %3}")
        .arg(css(kText), css(kDestructive),
             bold ? QStringLiteral("font-weight: bold; ") : QString());
}

} // namespace Theme
