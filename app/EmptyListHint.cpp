#include "app/EmptyListHint.h"

#include "app/Transport.h"
#include "playlists/PlaylistModel.h"
#include "ui/GradientButton.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QVBoxLayout>

EmptyListHint::EmptyListHint(Transport& transport, std::function<void()> browse, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("emptyListHint"));
    setGeometry(40, 140, 240, 76);
    auto *label = new QLabel(QStringLiteral("Add music: Songs \u2192 Device"), this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: %1; %2")
                             .arg(Theme::css(Theme::kText), Theme::fontRule(Theme::kBodyPx)));
    auto *button = new GradientButton(QStringLiteral("Browse Folders\u2026"), this);
    button->setBackgroundColor(Theme::kToolbarButton);
    button->setTitleColor(Theme::kText);
    button->setFixedSize(160, 34);
    m_button = button;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    connect(button, &QPushButton::clicked, this, std::move(browse));
    const PlaylistModel *model = transport.model();
    const auto follow = [this, model] { setVisible(model->rowCount() == 0); };
    connect(model, &QAbstractItemModel::modelReset, this, follow);
    connect(model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, this, follow);
    follow();
}
