#include "playlists/PlaylistChooser.h"

#include "media/MediaHelper.h"
#include "platform/Alert.h"
#include "platform/MainWindow.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistHelper.h"
#include "ui/StoreAlerts.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

PlaylistChooser *PlaylistChooser::showForItems(const QStringList& paths)
{
    const std::optional<QStringList> names =
        StoreAlerts::value(PlaylistHelper::availablePlaylists());
    if (!names)
        return nullptr;
    auto *chooser = new PlaylistChooser(*names, paths, MainWindow::get());
    chooser->show();
    return chooser;
}

PlaylistChooser::PlaylistChooser(QStringList names, QStringList paths, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_names(std::move(names)),
      m_paths(std::move(paths))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setObjectName(QStringLiteral("alert"));
    // An alert window whose labels are all bold, with a list of names.
    setStyleSheet(Alert::styleSheet() +
                  QStringLiteral("QLabel { font-weight: bold; }"
                                 "QListWidget { background: transparent;"
                                 " color: %1; %2 }")
                      .arg(Theme::css(Theme::kChooserText), Theme::fontRule(Theme::kRowPx, true)));

    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("My Playlists"), this);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    m_table = new QListWidget(this);
    for (int r = 0; r < m_names.size(); ++r)
        m_table->addItem(QStringLiteral("%1. %2").arg(r + 1).arg(m_names[r]));
    m_table->setCurrentRow(0);
    m_table->setFixedSize(252, 200);
    layout->addWidget(m_table);
    // itemActivated covers a click and Return; a plain click alone is one choice.
    connect(m_table, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { choose(m_table->row(item)); });
    connect(m_table, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { choose(m_table->row(item)); });

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(cancel);
    m_table->setFocus();
}

void PlaylistChooser::choose(int row)
{
    if (m_chosen || row < 0 || row >= m_names.size())
        return;
    m_chosen = true;
    const QString& name = m_names[row];
    MediaList items =
        StoreAlerts::value(PlaylistHelper::contentsForPlaylist(name)).value_or(MediaList());
    items += MediaHelper::collectionWithMedia(m_paths);
    PlaylistAnnouncer::createPlaylistWithName(name, items, false);
    accept();
}
