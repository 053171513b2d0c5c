#include "ui/PlaceholderScreen.h"

#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PlaceholderScreen::PlaceholderScreen(const QString& title, QWidget *parent)
    : PlaceholderScreen(title, QStringLiteral("Coming soon"), parent)
{}

PlaceholderScreen::PlaceholderScreen(const QString& title, const QString& text, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("placeholderScreen"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x1c, 0x1c, 0x1c));
    pal.setColor(QPalette::WindowText, QColor(0xb0, 0xb0, 0xb0));
    setPalette(pal);

    m_label = new QLabel(text, this);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    QFont font = m_label->font();
    font.setPixelSize(17);
    font.setBold(true);
    m_label->setFont(font);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);

    NavigationItem *item = NavigationItem::of(this);
    item->setTitle(title);
    QPushButton *close =
        NavigationBar::makeButton(QStringLiteral("Close"), NavigationBar::ButtonStyle::Done);
    connect(close, &QPushButton::clicked, this, [this] {
        if (NavigationController *nav = NavigationController::of(this))
            nav->dismiss();
    });
    item->setRightButton(close);
}

QString PlaceholderScreen::text() const
{
    return m_label->text();
}
