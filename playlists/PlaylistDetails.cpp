#include "playlists/PlaylistDetails.h"

#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistModel.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationItem.h"
#include "ui/StoreAlerts.h"
#include "ui/Theme.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

PlaylistDetails::PlaylistDetails(const QString& playlistName, QWidget *parent)
    : QWidget(parent), m_playlistName(playlistName), m_model(new PlaylistModel(this)),
      m_table(new QListView(this)), m_self(std::make_shared<PlaylistDetails *>(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    m_model->setStoresFileTitles(false); // the stored records keep their own titles
    m_table->setModel(m_model);
    m_table->setItemDelegate(new CAPlaylistCell(m_table));
    m_table->setUniformItemSizes(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Orange separators: the rows' bottom border.
    m_table->setStyleSheet(QStringLiteral("QListView { background: %1; border: none; }"
                                          "QListView::item { border-bottom: 1px solid %2; }")
                               .arg(Theme::css(Theme::kPanel), Theme::css(Theme::kDetailsAccent)) +
                           Theme::focusRing(QStringLiteral("QListView"), 2, Theme::kFocusOnAccent));
    m_table->installEventFilter(this);
    m_table->viewport()->installEventFilter(this);
    setFocusProxy(m_table);
    m_deleteButton = new QPushButton(QStringLiteral("Delete"), m_table->viewport());
    m_deleteButton->setFocusPolicy(Qt::NoFocus);
    m_deleteButton->setToolTip(QStringLiteral("Remove this song from the playlist (Delete)"));
    m_deleteButton->setStyleSheet(Theme::deleteButton(true));
    m_deleteButton->hide();
    connect(m_deleteButton, &QPushButton::clicked, this,
            [this] { removeRow(m_table->currentIndex().row()); });
    // The button follows the current row wherever the list moves it.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &PlaylistDetails::placeDeleteButton);
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &PlaylistDetails::placeDeleteButton);
    connect(m_model, &QAbstractItemModel::modelReset, this, &PlaylistDetails::placeDeleteButton,
            Qt::QueuedConnection);

    m_titleLabel = new QLabel;
    m_titleLabel->resize(180, 40);
    m_titleLabel->setFont(Theme::font(m_titleLabel->font(), Theme::kCaptionPx, true));
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setWordWrap(false);
    m_titleLabel->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                                    .arg(Theme::css(Theme::kDetailsAccent)));
    m_editButton =
        NavigationBar::makeButton(QStringLiteral("Edit"), NavigationBar::ButtonStyle::Bordered,
                                  this, [this] { editTable(); });
    NavigationItem *item = NavigationItem::of(this);
    item->setBackButtonTitle(QStringLiteral("Back"));
    item->setTitleWidget(m_titleLabel);
    item->setRightButton(m_editButton);
    displayTitle();

    loadTableContents();
}

PlaylistDetails::~PlaylistDetails()
{
    *m_self = nullptr;
}

const MediaList& PlaylistDetails::tableContents() const
{
    return m_model->items();
}

void PlaylistDetails::loadTableContents()
{
    m_loader.async([name = m_playlistName, weakSelf = std::weak_ptr<PlaylistDetails *>(m_self)] {
        MediaList items =
            StoreAlerts::value(PlaylistHelper::contentsForPlaylist(name)).value_or(MediaList());
        // Handed over without waiting: the screen's destructor joins this queue on
        // the main thread, so a worker waiting for the main thread could deadlock.
        Dispatch::main([items = std::move(items), weakSelf]() mutable {
            if (const auto self = weakSelf.lock(); self && *self)
                (*self)->contentsArrived(std::move(items));
        });
    });
}

void PlaylistDetails::contentsArrived(MediaList items)
{
    m_model->setItems(std::move(items));
    m_loaded = true;
    displayTitle();
    Q_EMIT loaded();
}

void PlaylistDetails::displayTitle()
{
    // No count before the records are read: an empty list is not yet known.
    m_titleLabel->setText(
        m_loaded ? QStringLiteral("%1 \n%2 Songs").arg(m_playlistName).arg(m_model->items().size())
                 : m_playlistName);
}

void PlaylistDetails::editTable()
{
    m_editing = !m_editing;
    m_dragRow = -1;
    m_editButton->setText(m_editing ? QStringLiteral("Done") : QStringLiteral("Edit"));
    NavigationBar::setButtonStyle(m_editButton, m_editing ? NavigationBar::ButtonStyle::Done
                                                          : NavigationBar::ButtonStyle::Bordered);
    if (m_editing && !m_table->currentIndex().isValid() && m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(0));
    placeDeleteButton();
}

void PlaylistDetails::placeDeleteButton()
{
    const QModelIndex current = m_table->currentIndex();
    if (!m_editing || !current.isValid()) {
        m_deleteButton->hide();
        return;
    }
    m_deleteButton->adjustSize();
    const QRect row = m_table->visualRect(current);
    m_deleteButton->move(row.right() - m_deleteButton->width() - 8,
                         row.center().y() - m_deleteButton->height() / 2);
    m_deleteButton->show();
}

void PlaylistDetails::removeRow(int row)
{
    MediaList items = m_model->items();
    if (!m_loaded || row < 0 || row >= items.size())
        return;
    items.removeAt(row);
    const int current = std::min(row, int(items.size()) - 1);
    replaceContents(std::move(items), current);
    displayTitle();
}

void PlaylistDetails::moveRow(int from, int to)
{
    MediaList items = m_model->items();
    if (!m_loaded || from < 0 || from >= items.size())
        return;
    to = std::clamp(to, 0, int(items.size()) - 1);
    if (to == from)
        return;
    items.move(from, to);
    replaceContents(std::move(items), to);
}

void PlaylistDetails::replaceContents(MediaList items, int currentRow)
{
    m_model->setItems(items);
    if (currentRow >= 0)
        m_table->setCurrentIndex(m_model->index(currentRow));
    // An edit that was not saved is not the playlist: show what is on disk again,
    // and take no edit until it is back.
    if (!PlaylistAnnouncer::createPlaylistWithName(m_playlistName, items, false)) {
        m_loaded = false;
        loadTableContents();
    }
}

bool PlaylistDetails::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const int row = m_table->currentIndex().isValid() ? m_table->currentIndex().row() : -1;
        const bool alt = key->modifiers() == Qt::AltModifier;
        // Out of editing mode no key changes the stored playlist.
        if (m_editing && key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            removeRow(row);
            return true;
        }
        if (m_editing && alt && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            if (row >= 0)
                moveRow(row, row + (key->key() == Qt::Key_Up ? -1 : 1));
            return true;
        }
    } else if (watched == m_table->viewport() && m_editing) {
        // The press picks the row up and the release drops it where the pointer is.
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            m_dragRow = m_table->indexAt(mouse->position().toPoint()).row();
        } else if (event->type() == QEvent::MouseButtonRelease && m_dragRow >= 0) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QModelIndex target = m_table->indexAt(mouse->position().toPoint());
            const int from = std::exchange(m_dragRow, -1);
            moveRow(from, target.isValid() ? target.row() : int(m_model->items().size()) - 1);
        }
    }
    return QWidget::eventFilter(watched, event);
}
