#include "settings/SwitchCell.h"

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
    m_switch->setStyleSheet(QStringLiteral(
        "QPushButton { background: #e4e4e4; color: #7a7a7a; border: 1px solid #9a9a9a;"
        " border-radius: 6px; font-weight: bold; }"
        "QPushButton:checked { background: #3e7ee0; color: white; border-color: #2a5db0; }"
        "QPushButton:focus { border: 2px solid #ff7f00; }"));
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
