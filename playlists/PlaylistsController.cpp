#include "playlists/PlaylistsController.h"

#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistInterchange.h"
#include "ui/AlertViewHelper.h"
#include "ui/Icons.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Notice.h"
#include "ui/StoreAlerts.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// A drag across a row counts as a swipe when it is this long and mostly
// horizontal.
constexpr int kSwipePixels = 40;

// A row's name in white 0.9 over a black shadow, as the song rows are drawn; the
// style sheet still paints the row (separator, highlight).
class NameCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const QRect frame = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget)
                                .adjusted(8, 0, 0, 0);
        painter->save();
        painter->setFont(opt.font);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        CAPlaylistCell::drawShadowedText(
            painter, frame, flags, opt.fontMetrics.elidedText(text, Qt::ElideRight, frame.width()),
            CAPlaylistCell::textColor(false));
        painter->restore();
    }
};
} // namespace

PlaylistsController::PlaylistsController(QWidget *parent) : QWidget(parent)
{
    NavigationItem *item = NavigationItem::of(this);
    item->setTitle(QStringLiteral("Playlists"));
    item->setRightButton(NavigationBar::makeButton(
        QStringLiteral("Close"), NavigationBar::ButtonStyle::Done, this, [this] { close(); }));
    m_editButton =
        NavigationBar::makeButton(QStringLiteral("Edit"), NavigationBar::ButtonStyle::Bordered,
                                  this, [this] { editTable(); });
    item->setLeftButton(m_editButton);

    m_table = new QListWidget(this);
    m_table->setStyleSheet(
        Theme::darkList(true) + Theme::separatedRows(Theme::kMenuSeparator) +
        QStringLiteral("QToolButton { background: transparent; border: none; }") +
        Theme::deleteButton(false));
    m_table->setItemDelegate(new NameCell(m_table));
    m_table->installEventFilter(this);
    m_table->viewport()->installEventFilter(this);
    // Return is handled in eventFilter(); a click chooses the row.
    connect(m_table, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *row) { selectRow(m_table->row(row)); });
    auto *importButton = new QPushButton(QStringLiteral("Import…"), this);
    importButton->setAccessibleName(QStringLiteral("Import a playlist file"));
    importButton->setToolTip(QStringLiteral("Import an M3U, M3U8 or PLS file (Ctrl+I)"));
    importButton->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: none;"
                       " border-top: 1px solid %3; font-weight: bold; padding: 8px; }")
            .arg(Theme::css(Theme::kText), Theme::css(Theme::kToolbar),
                 Theme::css(Theme::kToolbarButton)) +
        Theme::focusRing(QStringLiteral("QPushButton"), 1));
    connect(importButton, &QPushButton::clicked, this, &PlaylistsController::importPlaylist);
    auto *importKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
    importKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(importKey, &QShortcut::activated, this, &PlaylistsController::importPlaylist);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_table);
    layout->addWidget(importButton);
    setFocusProxy(m_table);

    m_exportPicker = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export Playlist"), suggested,
                                            QStringLiteral("M3U playlists (*.m3u8)"), nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
    m_importPicker = [this](const QString& suggested) {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Import Playlist"), suggested,
            QStringLiteral("Playlists (*.m3u *.m3u8 *.pls *.M3U *.M3U8 *.PLS)"), nullptr,
            QFileDialog::DontUseNativeDialog);
    };
}

void PlaylistsController::exportPlaylist(const QString& name)
{
    const std::optional<MediaList> items =
        StoreAlerts::value(PlaylistHelper::contentsForPlaylist(name));
    if (!items)
        return;
    const QString path =
        m_exportPicker
            ? m_exportPicker(QDir::homePath() + QLatin1Char('/') + name + QStringLiteral(".m3u8"))
            : QString();
    if (path.isEmpty())
        return;
    if (StoreAlerts::succeeded(PlaylistInterchange::exportItems(*items, path)))
        Notice::showOver(this, QStringLiteral("“%1” was exported to %2.").arg(name, path));
}

void PlaylistsController::importPlaylist()
{
    const QString path = m_importPicker ? m_importPicker(QDir::homePath()) : QString();
    if (path.isEmpty())
        return;
    // Reading the tags of every listed file is slow; the store's write and the new
    // row come back on the main thread. A long read shows a busy dialog whose
    // Cancel drops the result: nothing is saved after it.
    auto *progress =
        new QProgressDialog(QStringLiteral("Importing “%1”…").arg(QFileInfo(path).fileName()),
                            QStringLiteral("Cancel"), 0, 0, this);
    progress->setWindowTitle(QStringLiteral("Import"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(400);
    QPointer<PlaylistsController> self(this);
    QPointer<QProgressDialog> busy(progress);
    Dispatch::globalHigh([self, busy, path] {
        Result<PlaylistInterchange::Import> import = PlaylistInterchange::readImport(path);
        Dispatch::main([self, busy, import = std::move(import)] {
            const bool canceled = busy && busy->wasCanceled();
            delete busy.data();
            if (canceled)
                return;
            if (!import)
                StoreAlerts::show(import.failure());
            else
                PlaylistAnnouncer::announce(PlaylistInterchange::saveImport(*import));
            if (self) {
                self->reload();
                Q_EMIT self->imported();
            }
        });
    });
}

void PlaylistsController::close()
{
    if (NavigationController *controller = NavigationController::of(this))
        controller->dismiss();
}

void PlaylistsController::editTable()
{
    const bool entering = m_editButton->text() == QLatin1String("Edit");
    m_editButton->setText(entering ? QStringLiteral("Done") : QStringLiteral("Edit"));
    NavigationBar::setButtonStyle(m_editButton, entering ? NavigationBar::ButtonStyle::Done
                                                         : NavigationBar::ButtonStyle::Bordered);
    m_editing = entering;
    updateRowButtons();
}

void PlaylistsController::editMode()
{
    m_editing = !m_editing;
    updateRowButtons();
}

void PlaylistsController::selectRow(int row)
{
    if (row < 0 || row >= m_tableContents.size())
        return;
    m_table->clearSelection();
    m_playlistName = m_tableContents[row];
    auto *sheet = new ActionSheet(QStringLiteral("Select an option"), QStringLiteral("Cancel"),
                                  QStringLiteral("Play"),
                                  {QStringLiteral("Rename"), QStringLiteral("Export")});
    QPointer<PlaylistsController> self(this);
    sheet->setCallback([self](int index) {
        if (!self)
            return;
        if (index == 0) {
            if (self->m_play)
                self->m_play(self->m_playlistName);
            // The handler may have shown an alert about the file; the screen
            // closes anyway.
            if (self)
                self->close();
        } else if (index == 1) {
            self->rename();
        } else if (index == 2) {
            self->exportPlaylist(self->m_playlistName);
        }
    });
    sheet->show();
}

void PlaylistsController::rename()
{
    Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Name"));
    QPointer<PlaylistsController> self(this);
    const QString name = m_playlistName;
    alert->setCallback([self, name](int button, const QString& text) {
        if (button == 1 &&
            StoreAlerts::succeeded(PlaylistHelper::renamePlaylistWithName(name, text)) && self)
            self->reload();
    });
    alert->show();
}

void PlaylistsController::openDetails(int row)
{
    if (row < 0 || row >= m_tableContents.size() || !m_details)
        return;
    NavigationController *controller = NavigationController::of(this);
    QWidget *details = m_details(m_tableContents[row]);
    if (controller && details)
        controller->push(details);
    else
        delete details;
}

void PlaylistsController::confirmDelete(int row)
{
    if (row < 0 || row >= m_tableContents.size())
        return;
    const QString name = m_tableContents[row];
    auto *alert = new Alert(
        QString(), QStringLiteral("Are you sure you want to delete the playlist \"%1\"").arg(name),
        QStringLiteral("NO"), {QStringLiteral("YES")});
    alert->setDefaultButton(0); // Return keeps the playlist
    QPointer<PlaylistsController> self(this);
    alert->setCallback([self, name](int button, const QString&) {
        if (button == 1 && StoreAlerts::succeeded(PlaylistHelper::deletePlaylistWithName(name)) &&
            self)
            self->reload();
    });
    alert->show();
}

void PlaylistsController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

bool PlaylistsController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int row = m_table->currentRow();
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            selectRow(row);
            return true;
        case Qt::Key_Right:
            openDetails(row);
            return true;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (m_editing)
                confirmDelete(row);
            return true;
        case Qt::Key_E:
            if (key->modifiers() & Qt::ControlModifier) {
                editTable();
                return true;
            }
            break;
        default:
            break;
        }
    } else if (watched == m_table->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            m_pressPos = mouse->globalPosition().toPoint();
            m_pressed = m_table->itemAt(mouse->position().toPoint()) != nullptr;
        } else if (event->type() == QEvent::MouseButtonRelease && m_pressed) {
            m_pressed = false;
            const QPoint delta =
                static_cast<QMouseEvent *>(event)->globalPosition().toPoint() - m_pressPos;
            if (qAbs(delta.x()) >= kSwipePixels && qAbs(delta.x()) > 2 * qAbs(delta.y())) {
                editMode();
                return true; // a swipe is not a click on the row
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PlaylistsController::reload()
{
    m_tableContents =
        StoreAlerts::value(PlaylistHelper::availablePlaylists()).value_or(QStringList());
    const int current = m_table->currentRow();
    m_table->clear();
    for (int r = 0; r < m_tableContents.size(); ++r) {
        auto *row = new QListWidgetItem(QStringLiteral("%1. %2").arg(r + 1).arg(m_tableContents[r]),
                                        m_table);
        // The buttons sit on the right of the row; clicks elsewhere fall through
        // to the list, which chooses the row.
        auto *buttons = new QWidget;
        auto *layout = new QHBoxLayout(buttons);
        layout->setContentsMargins(0, 0, 8, 0);
        layout->addStretch();
        auto *remove = new QPushButton(QStringLiteral("Delete"), buttons);
        remove->setObjectName(QStringLiteral("delete"));
        remove->setFocusPolicy(Qt::NoFocus);
        remove->setVisible(m_editing);
        connect(remove, &QPushButton::clicked, this, [this, r] { confirmDelete(r); });
        layout->addWidget(remove);
        auto *disclosure = new QToolButton(buttons);
        disclosure->setObjectName(QStringLiteral("disclosure"));
        disclosure->setIcon(Icons::named(QStringLiteral("disclosure")));
        disclosure->setIconSize(QSize(29, 29));
        disclosure->setAccessibleName(QStringLiteral("Details"));
        disclosure->setToolTip(QStringLiteral("Songs of this playlist (Right arrow)"));
        disclosure->setAutoRaise(true);
        disclosure->setFocusPolicy(Qt::NoFocus);
        connect(disclosure, &QToolButton::clicked, this, [this, r] { openDetails(r); });
        layout->addWidget(disclosure);
        m_table->setItemWidget(row, buttons);
    }
    if (!m_tableContents.isEmpty())
        m_table->setCurrentRow(qBound(0, current, int(m_tableContents.size()) - 1));
}

void PlaylistsController::updateRowButtons()
{
    for (QPushButton *remove : m_table->findChildren<QPushButton *>(QStringLiteral("delete")))
        remove->setVisible(m_editing);
}
