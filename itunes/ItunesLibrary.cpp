#include "itunes/ItunesLibrary.h"

#include "itunes/ItunesHelper.h"
#include "media/MediaHelper.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistChooser.h"
#include "playlists/PlaylistModel.h"
#include "ui/ActivityIndicator.h"
#include "ui/AlertViewHelper.h"
#include "ui/Icons.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Notice.h"
#include "ui/Theme.h"

#include <QAbstractListModel>
#include <QButtonGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Whether a row is in the selection; no value out of selection mode.
constexpr int kSelectedRole = PlaylistModel::FailedRole + 100;

const QString kNoSelection = QStringLiteral("You have to select a file in order to play it");

// The playlist row with the selection mark at its right, where the length would be.
class SelectionCell : public CAPlaylistCell {
public:
    using CAPlaylistCell::CAPlaylistCell;

    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        CAPlaylistCell::paint(painter, option, index);
        const QVariant selected = index.data(kSelectedRole);
        if (!selected.isValid())
            return;
        constexpr int kSize = 26;
        const QRect mark(option.rect.right() - 9 - kSize,
                         option.rect.top() + (option.rect.height() - kSize) / 2, kSize, kSize);
        painter->drawPixmap(mark, Icons::pixmap(selected.toBool() ? QStringLiteral("selRow")
                                                                  : QStringLiteral("unSelRow"),
                                                QSize(kSize, kSize)));
    }
};

// Where the turning indicator sits, in the screen and then in the navigation bar.
const QPoint kIndicatorPlace(85, 11);

} // namespace

struct ItunesLibrary::Library {
    ItunesList songs;
    Names playlists;
    Names artists;
    bool found = false;
};

class ItunesLibrary::Rows : public QAbstractListModel {
public:
    explicit Rows(ItunesLibrary *screen) : QAbstractListModel(screen), m_screen(screen) {}
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_screen->rowCount();
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return index.isValid() ? m_screen->rowData(index.row(), role) : QVariant();
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void refresh()
    {
        if (const int rows = rowCount(); rows > 0)
            Q_EMIT dataChanged(index(0), index(rows - 1));
    }

private:
    ItunesLibrary *m_screen;
};

ItunesLibrary::ItunesLibrary(const QString& mediaRoot, QWidget *parent)
    : QWidget(parent), m_mediaRoot(mediaRoot), m_rows(new Rows(this)), m_table(new QListView(this)),
      m_segment(new QButtonGroup(this)), m_message(new QLabel(this)),
      m_self(std::make_shared<ItunesLibrary *>(this))
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::kPanel);
    setPalette(pal);

    NavigationItem *item = NavigationItem::of(this);
    item->setTitle(QStringLiteral("iTunes"));
    m_editButton =
        NavigationBar::makeButton(QStringLiteral("Edit"), NavigationBar::ButtonStyle::Bordered,
                                  this, [this] { editTable(); });
    m_editButton->setToolTip(QStringLiteral("Select songs, playlists or artists (Ctrl+E)"));
    item->setLeftButton(m_editButton);
    item->setRightButton(NavigationBar::makeButton(
        QStringLiteral("Close"), NavigationBar::ButtonStyle::Done, this, [this] { close(); }));

    auto *segmentBar = new QWidget(this);
    auto *segmentLayout = new QHBoxLayout(segmentBar);
    segmentLayout->setContentsMargins(8, 6, 8, 6);
    segmentLayout->setSpacing(0);
    const QStringList captions{QStringLiteral("Songs"), QStringLiteral("Playlists"),
                               QStringLiteral("Artists")};
    for (int i = 0; i < captions.size(); ++i) {
        auto *segment = new QPushButton(captions[i], segmentBar);
        segment->setCheckable(true);
        segment->setChecked(i == Songs);
        segment->setToolTip(QStringLiteral("%1 (Ctrl+%2)").arg(captions[i]).arg(i + 1));
        m_segment->addButton(segment, i);
        segmentLayout->addWidget(segment);
        auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), this);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, this, [this, i] { setCategory(Category(i)); });
    }
    using namespace Theme;
    segmentBar->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                       " padding: 5px; font-weight: bold; }"
                       "QPushButton:checked { color: %4; background: %5; }")
            .arg(css(kSecondaryText), css(kSegment), css(kSegmentEdge), css(kText), css(kAccent)) +
        focusRing(QStringLiteral("QPushButton"), 2, kFocusOnAccent));
    connect(m_segment, &QButtonGroup::idClicked, this,
            [this](int id) { setCategory(Category(id)); });

    m_table->setModel(m_rows);
    m_table->setItemDelegate(new SelectionCell(m_table));
    m_table->setUniformItemSizes(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setStyleSheet(
        QStringLiteral("QListView { background: %1; border: none; }").arg(css(kPanel)) +
        focusRing(QStringLiteral("QListView"), 2, kFocusOnAccent));
    m_table->installEventFilter(this);
    connect(m_table, &QListView::clicked, this,
            [this](const QModelIndex& index) { selectRow(index.row()); });

    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setStyleSheet(QStringLiteral("color: %1; %2 padding: 12px; background: %3;")
                                 .arg(css(kSecondaryText), fontRule(kCaptionPx), css(kPanel)));
    m_message->hide();

    auto *toolbar = new QWidget(this);
    toolbar->setStyleSheet(
        QStringLiteral("QWidget { background: %1; } QPushButton { color: %2; background: %3;"
                       " border-radius: 4px; padding: 7px 14px; font-weight: bold; }")
            .arg(css(kToolbar), css(kText), css(kToolbarButton)) +
        focusRing(QStringLiteral("QPushButton"), 2));
    auto *toolbarLayout = new QHBoxLayout(toolbar);
    toolbarLayout->setContentsMargins(8, 6, 8, 6);
    auto *playButton = new QPushButton(QStringLiteral("Play"), toolbar);
    playButton->setToolTip(QStringLiteral("Add the selection to the current list"));
    connect(playButton, &QPushButton::clicked, this, &ItunesLibrary::play);
    auto *playlistButton = new QPushButton(QStringLiteral("Playlist…"), toolbar);
    playlistButton->setToolTip(QStringLiteral("Add the selection to a playlist"));
    connect(playlistButton, &QPushButton::clicked, this, &ItunesLibrary::playlist);
    toolbarLayout->addWidget(playButton);
    toolbarLayout->addStretch();
    toolbarLayout->addWidget(playlistButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(segmentBar);
    layout->addWidget(m_message, 1);
    layout->addWidget(m_table, 1);
    layout->addWidget(toolbar);
    setFocusProxy(m_table);

    auto *editKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this);
    editKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(editKey, &QShortcut::activated, this, &ItunesLibrary::editTable);

    setupCategories();
}

ItunesLibrary::~ItunesLibrary()
{
    *m_self = nullptr;
    delete m_indicator; // it may live in the navigation bar
}

void ItunesLibrary::setupCategories()
{
    auto *indicator = new ActivityIndicator(this);
    indicator->setAccessibleName(QStringLiteral("Reading the library"));
    indicator->move(kIndicatorPlace);
    indicator->startAnimating();
    m_indicator = indicator;
    Dispatch::globalHigh([root = m_mediaRoot, weakSelf = std::weak_ptr<ItunesLibrary *>(m_self)] {
        Library library;
        library.found = QFileInfo::exists(ItunesHelper::libraryPath(root));
        library.songs = ItunesHelper::iTunesLibrary(root);
        const auto count = [](Names& names, const std::optional<QString>& name) {
            if (!name || name->isEmpty())
                return;
            auto it = names.counts.find(*name);
            if (it == names.counts.end())
                names.keys.append(*name), names.counts.insert(*name, 1);
            else
                ++*it;
        };
        for (const ItunesDescPtr& song : library.songs) {
            count(library.playlists, song->playlist);
            count(library.artists, song->artist);
        }
        for (QStringList *keys : {&library.playlists.keys, &library.artists.keys})
            std::sort(keys->begin(), keys->end(), [](const QString& a, const QString& b) {
                return a.localeAwareCompare(b) < 0;
            });
        Dispatch::main([library = std::move(library), weakSelf]() mutable {
            if (const auto self = weakSelf.lock(); self && *self)
                (*self)->install(std::move(library));
        });
    });
}

void ItunesLibrary::install(Library library)
{
    m_songs = std::move(library.songs);
    m_playlists = std::move(library.playlists);
    m_artists = std::move(library.artists);
    m_loaded = true;
    delete m_indicator;
    if (!library.found) {
        m_message->setText(
            QStringLiteral("No music library was found in %1\n\nIt is looked for in:\n%2\n\n"
                           "To read the library of a phone's media folder (mounted or "
                           "copied), start Quaver Pro with\n--media-root DIR\nor set\n"
                           "QUAVER_MEDIA_ROOT=DIR")
                .arg(QFileInfo(m_mediaRoot).absoluteFilePath(),
                     QFileInfo(ItunesHelper::libraryPath(m_mediaRoot)).absolutePath()));
        m_message->show();
        m_table->hide();
    }
    reloadTable(true);
    Q_EMIT loaded();
}

void ItunesLibrary::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    NavigationController *controller = NavigationController::of(this);
    if (m_indicator && controller && m_indicator->parentWidget() != controller->navigationBar()) {
        m_indicator->setParent(controller->navigationBar());
        m_indicator->move(kIndicatorPlace);
    }
    if (m_indicator) {
        m_indicator->show();
        m_indicator->raise();
    }
}

void ItunesLibrary::close()
{
    if (NavigationController *controller = NavigationController::of(this))
        controller->dismiss();
}

void ItunesLibrary::editTable()
{
    m_editing = m_editButton->text() == QLatin1String("Edit");
    m_editButton->setText(m_editing ? QStringLiteral("Done") : QStringLiteral("Edit"));
    NavigationBar::setButtonStyle(m_editButton, m_editing ? NavigationBar::ButtonStyle::Done
                                                          : NavigationBar::ButtonStyle::Bordered);
    reloadTable(false);
}

void ItunesLibrary::setCategory(Category category)
{
    m_category = category;
    if (QAbstractButton *segment = m_segment->button(category))
        segment->setChecked(true);
    reloadTable(true);
}

void ItunesLibrary::selectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    if (!m_editing) {
        m_table->clearSelection();
        return;
    }
    if (m_category == Songs) {
        m_selected.append(m_songs[row]);
        m_selectedSongs.insert(m_songs[row].get());
    } else {
        const QString& name = names().keys[row];
        m_selected.append(name);
        m_selectedNames.insert(name);
    }
    reloadTable(false);
}

QStringList ItunesLibrary::convertSelectedFiles() const
{
    QStringList paths;
    for (const Selected& selected : m_selected) {
        if (const auto *song = std::get_if<ItunesDescPtr>(&selected)) {
            // A song without a location has no file to hand on.
            if ((*song)->filePath)
                paths.append(*(*song)->filePath);
        } else {
            paths.append(collectionForName(std::get<QString>(selected)));
        }
    }
    return paths;
}

QStringList ItunesLibrary::collectionForName(const QString& name) const
{
    const bool playlist = m_playlists.counts.contains(name);
    const bool artist = m_artists.counts.contains(name);
    QStringList paths;
    for (const ItunesDescPtr& song : m_songs) {
        if (((playlist && song->playlist == name) || (artist && song->artist == name)) &&
            song->filePath)
            paths.append(*song->filePath);
    }
    return paths;
}

void ItunesLibrary::play()
{
    if (m_selected.isEmpty())
        return;
    if (m_play)
        m_play(convertSelectedFiles());
    m_selected.clear();
    m_selectedSongs.clear();
    m_selectedNames.clear();
    reloadTable(false);
}

void ItunesLibrary::playlist()
{
    auto *sheet = new ActionSheet(QStringLiteral("Select an option"), QStringLiteral("Cancel"),
                                  QStringLiteral("Add to existing playlist"),
                                  {QStringLiteral("Create new playlist")});
    const QStringList titles = sheet->buttonTitles();
    QPointer<ItunesLibrary> self(this);
    sheet->setCallback([self, titles](int index) {
        const QString title = titles.value(index);
        if (!self)
            return;
        if (title == QLatin1String("Add to existing playlist")) {
            PlaylistChooser::showForItems(self->convertSelectedFiles());
        } else if (title == QLatin1String("Create new playlist")) {
            Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Playlist"));
            alert->setCallback([self](int button, const QString& text) {
                if (self && button == 1 && !text.isEmpty())
                    self->createPlaylist(text);
            });
            alert->show();
        }
    });
    sheet->show();
}

void ItunesLibrary::createPlaylist(const QString& name)
{
    if (m_selected.isEmpty()) {
        Notice::showOver(this, kNoSelection);
        return;
    }
    const QStringList paths = convertSelectedFiles();
    m_selected.clear();
    m_selectedSongs.clear();
    m_selectedNames.clear();
    reloadTable(false);
    // Reading the tags of a whole artist takes long; the store writes and reports
    // on the main thread.
    Dispatch::globalHigh([paths, name] {
        MediaList items = MediaHelper::collectionWithMedia(paths);
        Dispatch::main([items = std::move(items), name] {
            PlaylistAnnouncer::createPlaylistWithName(name, items, true);
        });
    });
}

void ItunesLibrary::reloadTable(bool reset)
{
    if (reset)
        m_rows->reset();
    else
        m_rows->refresh();
}

int ItunesLibrary::rowCount() const
{
    return int(m_category == Songs ? m_songs.size() : names().keys.size());
}

QVariant ItunesLibrary::rowData(int row, int role) const
{
    if (row < 0 || row >= rowCount())
        return {};
    QString title, artist;
    bool selected = false;
    if (m_category == Songs) {
        const ItunesDesc& song = *m_songs[row];
        title = song.title.value_or(QString());
        artist = song.artist.value_or(QString());
        selected = m_selectedSongs.contains(&song);
    } else {
        artist = names().keys[row];
        title = QStringLiteral("%1 songs").arg(names().counts.value(artist));
        selected = m_selectedNames.contains(artist);
    }
    switch (role) {
    case PlaylistModel::IndexTextRole:
        return QStringLiteral("%1").arg(row + 1);
    case PlaylistModel::TitleRole:
        return title;
    case PlaylistModel::ArtistRole:
        return artist;
    case PlaylistModel::DurationRole:
        return QString();
    case PlaylistModel::NameRowRole:
        return m_category != Songs;
    case Qt::DisplayRole:
        return QStringLiteral("%1, %2").arg(artist, title);
    case kSelectedRole:
        return m_editing ? QVariant(selected) : QVariant();
    default:
        return {};
    }
}

bool ItunesLibrary::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
             key->key() == Qt::Key_Space)) {
            selectRow(m_table->currentIndex().row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
