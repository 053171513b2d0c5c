#include "settings/SwitchCell.h"

#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

SwitchCell::SwitchCell(const QString& title, QWidget *parent) : QWidget(parent)
{
    m_titleLabel = new QLabel(title, this);
    m_titleLabel->setObjectName(QStringLiteral("title"));
    m_switch = new QPushButton(this);
    m_switch->setCheckable(true);
    m_switch->setFixedSize(79, 27);
    m_switch->setAccessibleName(title);
    using namespace Theme;
    m_switch->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 6px; font-weight: bold; }"
                       "QPushButton:checked { background: %4; color: %5; border-color: %6; }")
            .arg(css(kLightButton), css(kSwitchOffText), css(kSwitchOffEdge), css(kTint),
                 css(kText), css(kTintEdge)) +
        focusRing(QStringLiteral("QPushButton"), 2));
    setOn(false);
    connect(m_switch, &QPushButton::clicked, this, [this](bool on) {
        setOn(on);
        Q_EMIT switched(on);
    });
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->addWidget(m_titleLabel, 1);
    layout->addWidget(m_switch);
}

bool SwitchCell::isOn() const
{
    return m_switch->isChecked();
}

void SwitchCell::setOn(bool on)
{
    m_switch->setChecked(on);
    m_switch->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
}
