#include "ui/NavigationBar.h"

#include "ui/Icons.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace {

constexpr int kMargin = 5;   // pixels between the bar's edge and a button
constexpr int kTitleGap = 8; // pixels between the title and a button
const char kStyleProperty[] = "barButtonStyle";

QString styleName(NavigationBar::ButtonStyle style)
{
    switch (style) {
    case NavigationBar::ButtonStyle::Plain:
        return QStringLiteral("plain");
    case NavigationBar::ButtonStyle::Done:
        return QStringLiteral("done");
    case NavigationBar::ButtonStyle::Bordered:
        break;
    }
    return QStringLiteral("bordered");
}

} // namespace

NavigationBar::NavigationBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("navigationBar"));
    setStyleSheet(QStringLiteral("QLabel#navigationTitle { color: %1; %2 }")
                      .arg(Theme::css(Theme::kText), Theme::fontRule(Theme::kTitlePx, true)) +
                  buttonStyleSheet());

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("navigationTitle"));
    m_title->setAlignment(Qt::AlignCenter);

    m_back = makeButton(QStringLiteral("Back"), ButtonStyle::Bordered, this);
    m_back->setObjectName(QStringLiteral("backButton"));
    m_back->setProperty(kStyleProperty, QStringLiteral("back"));
    m_back->setIcon(Icons::named(QStringLiteral("back")));
    m_back->setIconSize(QSize(12, 12));
    m_back->hide();
    connect(m_back, &QPushButton::clicked, this, &NavigationBar::backRequested);
}

NavigationBar::~NavigationBar()
{
    // Borrowed widgets go back to their screen, which deletes them.
    if (m_item)
        m_item->reclaimWidgets();
}

QString NavigationBar::buttonStyleSheet()
{
    using namespace Theme;
    return QStringLiteral("QPushButton[barButtonStyle] { color: %1; %2 min-height: 20px;"
                          " padding: 4px 10px; border: 1px solid %3; border-radius: 5px;"
                          " background: %4; }")
               .arg(css(kText), fontRule(kButtonPx, true), css(kBarButtonEdge),
                    css(kBarButtonGloss)) +
           QStringLiteral(
               "QPushButton[barButtonStyle=\"back\"] { padding-left: 4px; }"
               "QPushButton[barButtonStyle=\"done\"] { background: %1; }"
               "QPushButton[barButtonStyle=\"plain\"] { background: transparent; border: none;"
               " padding: 4px 6px; }"
               "QPushButton[barButtonStyle]:pressed { background: %2; }"
               "QPushButton[barButtonStyle=\"done\"]:pressed { background: %3; }"
               "QPushButton[barButtonStyle]:disabled { color: %4; }")
               .arg(css(kDoneButtonGloss), css(kBarButtonPressed), css(kDoneButtonPressed),
                    css(kDisabledText)) +
           focusRing(QStringLiteral("QPushButton[barButtonStyle]"), 1);
}

QPushButton *NavigationBar::makeButton(const QString& text, ButtonStyle style, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    // A click must not pull focus away from the screen's own widgets.
    button->setFocusPolicy(Qt::TabFocus);
    button->setProperty(kStyleProperty, styleName(style));
    return button;
}

QPushButton *NavigationBar::makeButton(const QString& text, ButtonStyle style, QObject *context,
                                       std::function<void()> action, QWidget *parent)
{
    QPushButton *button = makeButton(text, style, parent);
    connect(button, &QPushButton::clicked, context, std::move(action));
    return button;
}

void NavigationBar::setButtonStyle(QAbstractButton *button, ButtonStyle style)
{
    button->setProperty(kStyleProperty, styleName(style));
    // Style sheets read dynamic properties only when a widget is polished.
    button->style()->unpolish(button);
    button->style()->polish(button);
    button->update();
    if (auto *bar = qobject_cast<NavigationBar *>(button->parentWidget()))
        bar->layoutItem();
}

NavigationBar::ButtonStyle NavigationBar::buttonStyle(const QAbstractButton *button)
{
    const QString name = button->property(kStyleProperty).toString();
    if (name == QLatin1String("plain"))
        return ButtonStyle::Plain;
    if (name == QLatin1String("done"))
        return ButtonStyle::Done;
    return ButtonStyle::Bordered;
}

void NavigationBar::setItem(NavigationItem *item, NavigationItem *below)
{
    if (m_item && m_item != item) {
        disconnect(m_item, nullptr, this, nullptr);
        m_item->reclaimWidgets();
    }
    if (m_below)
        disconnect(m_below, nullptr, this, nullptr);
    m_item = item;
    m_below = below;
    if (m_item)
        connect(m_item, &NavigationItem::changed, this, &NavigationBar::refresh,
                Qt::UniqueConnection);
    if (m_below)
        connect(m_below, &NavigationItem::changed, this, &NavigationBar::refresh,
                Qt::UniqueConnection);
    refresh();
}

QString NavigationBar::titleText() const
{
    if (!m_item || m_item->titleWidget())
        return {};
    return m_item->title();
}

void NavigationBar::refresh()
{
    QWidget *left = m_item ? m_item->leftButton() : nullptr;
    QWidget *right = m_item ? m_item->rightButton() : nullptr;
    QWidget *titleWidget = m_item ? m_item->titleWidget() : nullptr;
    for (QWidget *w : {left, right, titleWidget}) {
        if (!w)
            continue;
        if (w->parentWidget() != this)
            w->setParent(this);
        w->show();
    }
    m_back->setVisible(!left && m_below);
    if (m_below)
        m_back->setText(m_below->backButtonTitle());
    m_title->setVisible(!titleWidget);
    layoutItem();
}

void NavigationBar::layoutItem()
{
    const int w = width();
    int leftEdge = kMargin;
    int rightEdge = w - kMargin;
    auto place = [this](QWidget *button, int x) {
        QSize size = button->sizeHint();
        size.setWidth(qMin(size.width(), width() / 3));
        button->setGeometry(x, (height() - size.height()) / 2, size.width(), size.height());
        return size.width();
    };

    QWidget *left = m_item ? m_item->leftButton() : nullptr;
    if (!left && m_back->isVisibleTo(this))
        left = m_back;
    if (left)
        leftEdge += place(left, kMargin) + kTitleGap;
    if (QWidget *right = m_item ? m_item->rightButton() : nullptr) {
        const int width = qMin(right->sizeHint().width(), w / 3);
        place(right, w - kMargin - width);
        rightEdge -= width + kTitleGap;
    }

    // Centred on the bar when there is room, else centred between the buttons.
    auto centre = [&](QWidget *widget, QSize size) {
        size.setWidth(qMin(size.width(), qMax(0, rightEdge - leftEdge)));
        const int x =
            qBound(leftEdge, (w - size.width()) / 2, qMax(leftEdge, rightEdge - size.width()));
        widget->setGeometry(x, (height() - size.height()) / 2, size.width(), size.height());
    };
    if (QWidget *titleWidget = m_item ? m_item->titleWidget() : nullptr) {
        centre(titleWidget, m_item->titleWidgetSize());
        return;
    }
    const QString title = m_item ? m_item->title() : QString();
    m_title->ensurePolished();
    const QFontMetrics fm = m_title->fontMetrics();
    const int room = qMax(0, rightEdge - leftEdge);
    m_title->setText(fm.elidedText(title, Qt::ElideRight, room));
    centre(m_title, QSize(fm.horizontalAdvance(m_title->text()) + 2, fm.height() + 2));
}

QSize NavigationBar::sizeHint() const
{
    return {320, kHeight};
}

void NavigationBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutItem();
}

void NavigationBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    QLinearGradient gloss(0, 0, 0, r.height());
    gloss.setColorAt(0.0, Theme::kNavigationBarGloss.top);
    gloss.setColorAt(0.5, Theme::kNavigationBarGloss.upperMiddle);
    gloss.setColorAt(0.5001, Theme::kNavigationBarGloss.lowerMiddle);
    gloss.setColorAt(1.0, Theme::kNavigationBarGloss.bottom);
    p.fillRect(r, gloss);
    p.setPen(Theme::kBarTopLine);
    p.drawLine(r.topLeft(), r.topRight());
    p.setPen(Theme::kBlack);
    p.drawLine(r.bottomLeft(), r.bottomRight());
}
