#include "settings/SettingsLabelCell.h"

#include <QHBoxLayout>
#include <QLabel>

SettingsLabelCell::SettingsLabelCell(const QString& title, QWidget *parent) : QWidget(parent)
{
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("title"));
    m_option = new QLabel(this);
    m_option->setObjectName(QStringLiteral("option"));
    m_option->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *disclosure = new QLabel(QStringLiteral("›"), this);
    disclosure->setObjectName(QStringLiteral("disclosure"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->addWidget(m_title, 1);
    layout->addWidget(m_option, 1);
    layout->addWidget(disclosure);
}
