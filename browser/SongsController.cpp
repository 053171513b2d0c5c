#include "browser/SongsController.h"

#include "browser/BrowserActions.h"
#include "browser/FolderCellDelegate.h"
#include "browser/FolderListModel.h"
#include "services/FileManager.h"
#include "services/FolderListing.h"
#include "services/SettingsHelper.h"
#include "ui/ActivityIndicator.h"
#include "ui/Icons.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Notice.h"
#include "ui/StoreAlerts.h"
#include "ui/Theme.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSearchBarHeight = 44;
constexpr int kToolbarHeight = 40; // the bar's 44 less 4
const QRect kFolderNameFrame(58, 11, 199, 21);

} // namespace

SongsController::SongsController(QWidget *parent)
    : QWidget(parent), m_newestOpening(std::make_shared<std::atomic<quint64>>(0))
{
    using namespace Theme;
    setStyleSheet(QStringLiteral("SongsController { background: %1; }").arg(css(kBlack)));
    setAttribute(Qt::WA_StyledBackground);

    m_searchBar = new QWidget(this);
    m_searchBar->setObjectName(QStringLiteral("searchBar"));
    m_searchBar->setStyleSheet(
        QStringLiteral("#searchBar { background: %1; border-bottom: 1px solid %2; }"
                       "QLineEdit { background: %3; color: %4; border-radius: 13px;"
                       " padding: 3px 10px; %5 }")
            .arg(css(kSearchBarFade), css(kBlack), css(kField), css(kDarkText), fontRule(kBodyPx)) +
        focusRing(QStringLiteral("QLineEdit"), 1));
    m_searchField = new QLineEdit(m_searchBar);
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    m_searchField->setAccessibleName(QStringLiteral("Search this folder"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->installEventFilter(this);
    m_cancelButton = NavigationBar::makeButton(
        QStringLiteral("Cancel"), NavigationBar::ButtonStyle::Bordered, this,
        [this] { cancelSearch(); }, m_searchBar);
    m_cancelButton->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; %2 padding: 4px 8px; border: 1px solid %3;"
                       " border-radius: 5px; background: %4; }")
            .arg(css(kText), fontRule(kButtonPx, true), css(kBarButtonEdge), css(kPlainButton)));
    m_cancelButton->hide();
    auto *searchLayout = new QHBoxLayout(m_searchBar);
    searchLayout->setContentsMargins(6, 7, 6, 7);
    searchLayout->addWidget(m_searchField);
    searchLayout->addWidget(m_cancelButton);
    connect(m_searchField, &QLineEdit::textEdited, this, &SongsController::searchTextChanged);

    m_model = new FolderListModel(this);
    // The header stays above the rows, as a table's section header does.
    m_tablePane = new QWidget(this);
    m_table = new QListView(m_tablePane);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new FolderCellDelegate(m_table));
    m_table->setUniformItemSizes(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setStyleSheet(QStringLiteral("QListView { background: %1; }").arg(css(kBlack)));
    m_table->installEventFilter(this);
    connect(m_table, &QListView::clicked, this,
            [this](const QModelIndex& index) { selectRow(index.row()); });
    connect(m_table, &QListView::doubleClicked, this,
            [this](const QModelIndex& index) { playNow(index.row()); });
    m_header = new QLabel(m_tablePane);
    m_header->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; %3 }")
                                .arg(css(kSectionHeader), css(kAccent), fontRule(kBodyPx)));
    m_header->setWordWrap(true);
    m_header->setFixedHeight(kHeaderHeight);
    auto *paneLayout = new QVBoxLayout(m_tablePane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(m_header);
    paneLayout->addWidget(m_table);

    m_toolbar = new QWidget(this);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setStyleSheet(
        QStringLiteral("#toolbar { background: %1; }").arg(css(kToolbarGloss)) +
        NavigationBar::buttonStyleSheet());
    new QHBoxLayout(m_toolbar);
    m_toolbar->layout()->setContentsMargins(6, 4, 6, 4);

    NavigationItem *item = NavigationItem::of(this);
    item->setLeftButton(NavigationBar::makeButton(QStringLiteral(".."),
                                                  NavigationBar::ButtonStyle::Bordered, this,
                                                  [this] { parentFolder(); }));
    item->setRightButton(NavigationBar::makeButton(
        QStringLiteral("Close"), NavigationBar::ButtonStyle::Done, this, [this] { close(); }));
    m_titleView = new QWidget(this);
    m_titleView->resize(kFolderNameFrame.size());
    m_folderName = new QLabel(m_titleView);
    m_folderName->setGeometry(QRect(QPoint(0, 0), kFolderNameFrame.size()));
    m_folderName->setAlignment(Qt::AlignCenter);
    m_folderName->setStyleSheet(
        QStringLiteral("QLabel { color: %1; background: transparent; }").arg(css(kAccent)));
    m_indicator = new ActivityIndicator(m_titleView);
    m_indicator->move((kFolderNameFrame.width() - ActivityIndicator::kSide) / 2, 0);
    item->setTitleWidget(m_titleView);

    BrowserActions::Host host;
    host.currentPath = [this] { return m_currentPath; };
    host.selectionList = [this] { return m_selectedFiles; };
    host.selectedObjects = [this] { return selectedObjects(); };
    host.clearSelection = [this] {
        m_selectedFiles.clear();
        reloadTable();
    };
    host.openFolder = [this](const QString& path) { openFolder(path); };
    m_actions = new BrowserActions(std::move(host), this, this);

    setFocusProxy(m_table);
    resize(320, 416);
    editMode();
    openFolder(setupInitialFolder());
}

SongsController::~SongsController() = default;

QString SongsController::setupInitialFolder()
{
    return SettingsHelper::activeBookmark().value_or(FileManager::homeFolder());
}

QString SongsController::headerText(const QString& path)
{
    const qsizetype n = path.size();
    if (n <= 34)
        return QStringLiteral("  ") + path;
    qsizetype from = n - 35;
    if (path.at(from).isLowSurrogate())
        ++from;
    return QStringLiteral("...") + path.mid(from);
}

void SongsController::openFolder(const QString& path)
{
    m_currentPath = path;
    openFolderAtPath(path);
}

void SongsController::openFolderAtPath(const QString& path)
{
    NavigationItem *item = NavigationItem::of(this);
    if (path == QLatin1String("/"))
        item->setLeftButton(nullptr);
    else if (!item->leftButton())
        item->setLeftButton(NavigationBar::makeButton(QStringLiteral(".."),
                                                      NavigationBar::ButtonStyle::Bordered, this,
                                                      [this] { parentFolder(); }));
    showFolderName(QString());
    m_indicator->startAnimating();
    m_header->setText(headerText(m_currentPath));

    // Openings are numbered; the worker skips one that a newer opening has
    // overtaken, and only the newest one's listing is installed.
    const quint64 opening = m_newestOpening->load() + 1;
    m_newestOpening->store(opening);
    m_pending = true;
    QPointer<SongsController> self(this);
    m_queue.async([self, path, opening, newest = m_newestOpening] {
        if (newest->load() != opening)
            return;
        // A failure is told even when a newer opening overtakes this one meanwhile.
        auto listing = std::make_shared<const FolderListing>(
            StoreAlerts::value(FolderListing::read(path)).value_or(FolderListing()));
        Dispatch::main([self, opening, listing = std::move(listing)]() mutable {
            if (self && opening == self->m_newestOpening->load())
                self->installListing(std::move(listing));
        });
    });
}

void SongsController::installListing(std::shared_ptr<const FolderListing> listing)
{
    m_pending = false;
    m_model->setListing(std::move(listing));
    // A listing read again under the search keeps showing what the text matches.
    if (m_searchMode)
        filterContentForSearchText(m_searchField->text());
    else if (!m_showHidden)
        showAllRows();
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(0));
    reloadTable();
    m_indicator->stopAnimating();
    showFolderName(FileManager::currentFolderName(m_currentPath));
    Q_EMIT folderShown(m_currentPath);
}

void SongsController::showFolderName(const QString& name)
{
    // Bold 13 pixels, shrunk down to 10 to fit, then shortened in the middle.
    QFont font = m_folderName->font();
    font.setBold(true);
    int size = Theme::kCaptionPx;
    for (; size > 10; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(name) <= m_folderName->width())
            break;
    }
    font.setPixelSize(size);
    m_folderName->setFont(font);
    m_folderName->setText(
        QFontMetrics(font).elidedText(name, Qt::ElideMiddle, m_folderName->width()));
    m_folderName->setToolTip(name);
}

void SongsController::parentFolder()
{
    openFolder(FileManager::deletingLastPathComponent(m_currentPath));
    m_searchMode = false;
    showAllRows();
}

void SongsController::close()
{
    if (NavigationController *controller = NavigationController::of(this))
        controller->dismiss();
}

void SongsController::setBookmark()
{
    SettingsHelper::addBookmarkWithPath(m_currentPath);
    Notice::showOver(this,
                     QStringLiteral("The current folder has been added to your bookmark list."));
}

void SongsController::setToolbarItems(const QList<QWidget *>& items)
{
    QLayout *layout = m_toolbar->layout();
    while (QLayoutItem *old = layout->takeAt(0)) {
        if (QWidget *widget = old->widget()) {
            widget->hide();
            widget->deleteLater(); // a button may be replacing itself from its click
        }
        delete old;
    }
    auto *row = static_cast<QHBoxLayout *>(layout);
    for (QWidget *widget : items) {
        if (widget)
            row->addWidget(widget);
        else
            row->addStretch(1);
    }
}

void SongsController::editMode()
{
    using Style = NavigationBar::ButtonStyle;
    QPushButton *bookmark =
        NavigationBar::makeButton(QString(), Style::Bordered, this, [this] { setBookmark(); });
    bookmark->setIcon(Icons::named(QStringLiteral("bookmarks")));
    bookmark->setIconSize(QSize(24, 24));
    bookmark->setAccessibleName(QStringLiteral("Bookmark this folder"));
    bookmark->setToolTip(QStringLiteral("Bookmark this folder"));
    auto *fixedSpace = new QWidget(m_toolbar);
    fixedSpace->setFixedWidth(9);
    setToolbarItems({NavigationBar::makeButton(QStringLiteral("Edit"), Style::Bordered, this,
                                               [this] { doneMode(); }),
                     NavigationBar::makeButton(QStringLiteral("Folder"), Style::Bordered, this,
                                               [this] { m_actions->newFolder(); }),
                     nullptr, fixedSpace, bookmark});
    m_editMode = false;
    m_selectedFiles.clear();
    reloadTable();
}

void SongsController::doneMode()
{
    using Style = NavigationBar::ButtonStyle;
    setToolbarItems({NavigationBar::makeButton(QStringLiteral("Done"), Style::Done, this,
                                               [this] { editMode(); }),
                     nullptr,
                     NavigationBar::makeButton(QStringLiteral("Play"), Style::Bordered, this,
                                               [this] { playSelected(); }),
                     NavigationBar::makeButton(QStringLiteral("Playlist"), Style::Bordered, this,
                                               [this] { m_actions->addToPlaylist(); }),
                     NavigationBar::makeButton(QStringLiteral("Actions"), Style::Bordered, this,
                                               [this] { m_actions->showOptions(); })});
    m_editMode = true;
    reloadTable();
}

void SongsController::reloadTable()
{
    m_model->setEditMode(m_editMode,
                         QSet<QString>(m_selectedFiles.cbegin(), m_selectedFiles.cend()));
}

void SongsController::selectRow(int row)
{
    if (m_pending || row < 0 || row >= m_model->rowCount())
        return;
    const QString path = m_model->fullPath(row);
    const bool folder = m_model->isFolder(row);
    if (!m_model->nameIsExact(row)) {
        Notice::showOver(this, FileManager::inexactNamesMessage({m_model->name(row)}));
        return;
    }
    if (m_searchMode) {
        m_searchMode = false;
        showAllRows();
        m_table->setFocus(); // the field gives up the keyboard; its text stays
    }
    if (m_editMode) {
        if (!m_selectedFiles.removeOne(path))
            m_selectedFiles.append(path);
        reloadTable();
    } else if (folder) {
        openFolder(path);
        m_searchField->clear();
    }
}

QStringList SongsController::selectedObjects()
{
    QStringList leftOut;
    QStringList files = FolderListing::expandForPlaying(m_selectedFiles, &leftOut);
    files.removeIf([](const QString& path) { return !FileManager::fileIsSupported(path); });
    if (!leftOut.isEmpty())
        Notice::showOver(this, FileManager::inexactNamesMessage(leftOut));
    return files;
}

void SongsController::playSelected()
{
    if (m_selectedFiles.isEmpty())
        return;
    const QStringList files = selectedObjects();
    if (m_play)
        m_play(files);
    m_selectedFiles.clear();
    reloadTable();
}

void SongsController::playNow(int row)
{
    if (m_pending || row < 0 || row >= m_model->rowCount() || m_model->isFolder(row))
        return;
    const QString path = m_model->fullPath(row);
    if (!FileManager::fileIsSupported(path))
        Notice::showOver(this, QStringLiteral("\u201c%1\u201d is not a file this player can play.")
                                   .arg(m_model->name(row)));
    else if (!m_model->nameIsExact(row))
        Notice::showOver(this, FileManager::inexactNamesMessage({m_model->name(row)}));
    else if (m_playNow)
        m_playNow(path);
}

void SongsController::filterContentForSearchText(const QString& text)
{
    m_model->setRows(m_model->listing().matching(text, m_showHidden));
}

void SongsController::searchTextChanged(const QString& text)
{
    filterContentForSearchText(text);
    m_searchMode = true;
}

void SongsController::beginSearch()
{
    if (m_searching)
        return;
    m_searching = true;
    m_cancelButton->show();
}

void SongsController::endSearch()
{
    if (!m_searching)
        return;
    m_searching = false;
    m_cancelButton->hide();
}

void SongsController::cancelSearch()
{
    m_table->setFocus();
    m_searchField->clear();
    m_searchMode = false;
    showAllRows();
}

void SongsController::showAllRows()
{
    m_model->setRows(m_showHidden ? std::nullopt
                                  : std::optional(m_model->listing().matching({}, false)));
}

void SongsController::showHiddenFiles(bool show)
{
    m_showHidden = show;
    if (m_searchMode)
        filterContentForSearchText(m_searchField->text());
    else
        showAllRows();
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(0));
}

QRect SongsController::tableRect() const
{
    const int top = kSearchBarHeight;
    const int height = this->height() - top - kToolbarHeight;
    return QRect(0, top, width(), std::max(height, kHeaderHeight));
}

void SongsController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_searchBar->setGeometry(0, 0, width(), kSearchBarHeight);
    m_toolbar->setGeometry(0, height() - kToolbarHeight, width(), kToolbarHeight);
    m_tablePane->setGeometry(tableRect());
}

bool SongsController::tableKey(QKeyEvent *key)
{
    const bool alt = key->modifiers() & Qt::AltModifier;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !alt) {
        const int row = m_table->currentIndex().row();
        if (!m_editMode && row >= 0 && !m_model->isFolder(row))
            playNow(row);
        else
            selectRow(row);
        return true;
    }
    if (key->key() == Qt::Key_H && key->modifiers() == Qt::ControlModifier) {
        showHiddenFiles(!m_showHidden);
        return true;
    }
    if (key->key() == Qt::Key_Backspace || (alt && key->key() == Qt::Key_Up)) {
        if (NavigationItem::of(this)->leftButton())
            parentFolder();
        return true;
    }
    const QString text = key->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        QCoreApplication::sendEvent(m_searchField, key);
        return true;
    }
    return false;
}

bool SongsController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress)
        return tableKey(static_cast<QKeyEvent *>(event));
    if (watched == m_searchField) {
        switch (event->type()) {
        case QEvent::FocusIn:
            beginSearch();
            break;
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                endSearch();
            break;
        }
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
                cancelSearch();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
