#include "app/MainViewController.h"

#include "BuildConfig.h"

#include "app/CurrentList.h"

#include "app/MprisService.h"
#include "app/SleepWatcher.h"
#include "app/VideoMovieScreen.h"
#include "audio/CAPlayer.h"
#include "audio/SystemVolume.h"
#include "browser/BookmarksList.h"
#include "browser/SongsController.h"
#include "itunes/ItunesLibrary.h"
#include "platform/Alert.h"
#include "platform/AppNotifier.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistDetails.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "playlists/PlaylistsController.h"
#include "services/FileManager.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "settings/SettingsController.h"
#include "ui/AboutController.h"
#include "ui/AlertViewHelper.h"
#include "ui/GradientButton.h"
#include "ui/Icons.h"
#include "ui/NavigationController.h"
#include "ui/PopupView.h"
#include "ui/ScreenStack.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace {

// The text wrapped at word boundaries into at most maxLines lines of width pixels,
// the last line cut with an ellipsis when the text does not fit.
QString wrappedAndElided(const QString& text, const QFont& font, int width, int maxLines)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const int start = line.textStart();
        if (lines.size() == maxLines - 1) {
            lines.append(
                QFontMetrics(font).elidedText(text.mid(start).simplified(), Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(start, line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

// The system volume (0..100) of the volume control, kept apart from the settings.
const QString kSystemVolume = QStringLiteral("SystemVolume");

QPushButton *iconButton(QWidget *parent, const QString& image, const QRect& frame,
                        const QString& accessibleName)
{
    auto *button = new QPushButton(parent);
    button->setGeometry(frame);
    button->setFlat(true);
    button->setIcon(Icons::named(image));
    button->setIconSize(frame.size() - QSize(8, 8));
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    button->setStyleSheet(Theme::flatIconButton());
    return button;
}

} // namespace

MainViewController::MainViewController(QWidget *parent)
    : QWidget(parent), m_model(new PlaylistModel(this)),
      m_currentList(new CurrentList(m_model, this)), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("player"));
    buildScreen();

    m_timer->setInterval(kTimerIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &MainViewController::updateUI);

    m_mpris = new MprisService(this, this);
    connect(ui.volumeView, &QSlider::valueChanged, this, &MainViewController::notifyRemote);
    auto *sleep = new SleepWatcher(this);
    connect(sleep, &SleepWatcher::interruptionBegan, this, &MainViewController::beginInterruption);
    connect(sleep, &SleepWatcher::interruptionEnded, this, &MainViewController::endInterruption);
    connect(&AppNotifier::instance(), &AppNotifier::background, this,
            &MainViewController::appIsSuspended);

    // Shake: the keyboard stands in for the motion sensor.
    auto *shake = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this);
    shake->setContext(Qt::WindowShortcut);
    connect(shake, &QShortcut::activated, this, &MainViewController::motionEnded);
    auto *about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    about->setContext(Qt::WindowShortcut);
    connect(about, &QShortcut::activated, this, &MainViewController::showAbout);
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space->setContext(Qt::WindowShortcut);
    connect(space, &QShortcut::activated, this, [this] {
        // Over the movie, the key pauses and resumes the sound the picture follows,
        // and nothing else of the hidden player.
        if (!m_videoController)
            playButton();
        else if (m_player && m_player->isPlaying())
            m_player->pause();
        else if (m_player)
            m_player->play();
    });

    setToolTip(keysHelp());
    qApp->installEventFilter(this);

    connect(m_currentList, &CurrentList::installed, this, &MainViewController::listInstalled);
    // What follows the current item depends on the list.
    const auto listChanged = [this] { prepareNext(); };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, listChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, listChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, listChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, listChanged);
    m_currentList->restore();
    m_model->setCurrentRow(m_currentSong);
    updateInfoLabel();
}

MainViewController::~MainViewController()
{
    // The engine's last message (playing: NO) must not reach a half-destroyed screen.
    dropNext();
    if (m_player)
        m_player->setDelegate(nullptr);
    m_player.reset();
}

void MainViewController::buildScreen()
{
    setFixedSize(320, 460);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::kWindow);
    pal.setColor(QPalette::WindowText, Theme::kText);
    setPalette(pal);

    // Now playing: behind the list panel when it unfolds.
    ui.songNameLabel = new QLabel(this);
    ui.songNameLabel->setGeometry(10, 140, 300, 56);
    ui.songNameLabel->setAlignment(Qt::AlignCenter);
    ui.songNameLabel->setWordWrap(true);
    ui.songNameLabel->setStyleSheet(
        QStringLiteral("color: %1; %2")
            .arg(Theme::css(Theme::kText), Theme::fontRule(Theme::kSongTitlePx, true)));
    auto *art = new QLabel(this);
    art->setGeometry(130, 292, 60, 60);
    art->setPixmap(Icons::pixmap(QStringLiteral("songs"), QSize(60, 60)));

    ui.timeSeeker = new QSlider(Qt::Horizontal, this);
    ui.timeSeeker->setGeometry(20, 220, 280, 24);
    ui.timeSeeker->setAccessibleName(QStringLiteral("Position"));
    ui.timeSeeker->setStyleSheet(Theme::trackSlider());
    ui.timeSeeker->setValue(0);
    ui.timeSeeker->hide();
    // Actions are what the user does to the slider; the timer's setValue is none.
    connect(ui.timeSeeker, &QSlider::actionTriggered, this,
            [this] { seekTime(float(ui.timeSeeker->sliderPosition()) / 1000.0f); });

    ui.currentTimeLabel = new QPushButton(QStringLiteral("0:00"), this);
    ui.currentTimeLabel->setGeometry(110, 250, 100, 26);
    ui.currentTimeLabel->setFlat(true);
    ui.currentTimeLabel->setAccessibleName(QStringLiteral("Time, click for time remaining"));
    ui.currentTimeLabel->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; background: transparent; %2 }")
            .arg(Theme::css(Theme::kRowText), Theme::fontRule(Theme::kRowPx)) +
        Theme::focusRing(QStringLiteral("QPushButton"), 1));
    connect(ui.currentTimeLabel, &QPushButton::clicked, this, &MainViewController::countDown);

    // Control panel.
    ui.interfaceView = new QWidget(this);
    ui.interfaceView->setGeometry(0, 0, 320, 80);
    ui.interfaceView->setObjectName(QStringLiteral("interfaceView"));
    ui.interfaceView->setAttribute(Qt::WA_StyledBackground);
    ui.interfaceView->setStyleSheet(QStringLiteral("QWidget#interfaceView { background: %1; }")
                                        .arg(Theme::css(Theme::kControlPanelFade)));
    ui.repeatButton =
        iconButton(ui.interfaceView, m_repeatImage, {6, 6, 40, 40}, QStringLiteral("Repeat"));
    ui.backwardButton = iconButton(ui.interfaceView, QStringLiteral("backward.png"),
                                   {70, 2, 48, 48}, QStringLiteral("Previous"));
    ui.playButton =
        iconButton(ui.interfaceView, m_playImage, {136, 2, 48, 48}, QStringLiteral("Play"));
    ui.forwardButton = iconButton(ui.interfaceView, QStringLiteral("forward.png"), {202, 2, 48, 48},
                                  QStringLiteral("Next"));
    ui.shuffleButton =
        iconButton(ui.interfaceView, m_shuffleImage, {274, 6, 40, 40}, QStringLiteral("Shuffle"));
    ui.videoButton = iconButton(ui.interfaceView, QStringLiteral("video.png"), {10, 52, 40, 26},
                                QStringLiteral("Show video"));
    ui.videoButton->setEnabled(false);
    connect(ui.repeatButton, &QPushButton::clicked, this, &MainViewController::repeatButton);
    connect(ui.backwardButton, &QPushButton::clicked, this, &MainViewController::backwardButton);
    connect(ui.playButton, &QPushButton::clicked, this, &MainViewController::playButton);
    connect(ui.forwardButton, &QPushButton::clicked, this, &MainViewController::forwardButton);
    connect(ui.shuffleButton, &QPushButton::clicked, this, &MainViewController::shuffleButton);
    connect(ui.videoButton, &QPushButton::clicked, this, &MainViewController::showVideo);

    ui.volumeView = new QSlider(Qt::Horizontal, ui.interfaceView);
    ui.volumeView->setGeometry(96, 55, 122, 30);
    ui.volumeView->setRange(0, 100);
    ui.volumeView->setAccessibleName(QStringLiteral("Volume"));
    ui.volumeView->setStyleSheet(Theme::trackSlider());
    const QVariant storedVolume = UserDefaults::standard().objectForKey(kSystemVolume);
    ui.volumeView->setValue(storedVolume.canConvert<int>() && storedVolume.toInt() >= 0 &&
                                    storedVolume.toInt() <= 100
                                ? storedVolume.toInt()
                                : 100);
    connect(ui.volumeView, &QSlider::valueChanged, this, [](int value) {
        SystemVolume::set(float(value) / 100.0f);
        UserDefaults::standard().setObject(kSystemVolume, value);
        UserDefaults::standard().synchronize();
    });
    SystemVolume::set(float(ui.volumeView->value()) / 100.0f);

    // The list panel.
    ui.playlistContainer = new QWidget(this);
    ui.playlistContainer->setGeometry(0, 80, 320, kPanelFolded);
    ui.playlistContainer->setAutoFillBackground(true);
    ui.playlistContainer->setStyleSheet(
        QStringLiteral("background: %1;").arg(Theme::css(Theme::kPanel)));
    ui.playlistButton = new QPushButton(ui.playlistContainer);
    ui.playlistButton->setGeometry(0, 0, 320, kPanelFolded);
    ui.playlistButton->setAccessibleName(QStringLiteral("Show or hide the list"));
    ui.playlistButton->setStyleSheet(QStringLiteral("QPushButton { border: none; background: %1; }")
                                         .arg(Theme::css(Theme::kListHandleFade)) +
                                     Theme::focusRing(QStringLiteral("QPushButton"), 1));
    ui.playlistInfoLabel = new QLabel(ui.playlistButton);
    ui.playlistInfoLabel->setGeometry(200, 0, 112, kPanelFolded);
    ui.playlistInfoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui.playlistInfoLabel->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(Theme::css(Theme::kRowText)));
    ui.playlistInfoLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *grip = new QLabel(ui.playlistButton);
    grip->setGeometry(146, 0, 28, kPanelFolded);
    grip->setPixmap(Icons::pixmap(QStringLiteral("playlistHandle"), QSize(28, 22)));
    grip->setStyleSheet(QStringLiteral("background: transparent;"));
    grip->setAttribute(Qt::WA_TransparentForMouseEvents);

    ui.table = new QListView(ui.playlistContainer);
    ui.table->setGeometry(0, kPanelFolded, 320, kPanelUnfolded - kPanelFolded);
    ui.table->setModel(m_model);
    ui.table->setItemDelegate(new CAPlaylistCell(ui.table));
    ui.table->setUniformItemSizes(true);
    ui.table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ui.table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.table->setStyleSheet(
        QStringLiteral("QListView { background: %1; border: 1px solid transparent; }")
            .arg(Theme::css(Theme::kPanel)) +
        Theme::focusRing(QStringLiteral("QListView"), 1));
    connect(ui.table, &QListView::activated, this,
            [this](const QModelIndex& index) { didSelectRow(index.row()); });
    connect(ui.table, &QListView::clicked, this,
            [this](const QModelIndex& index) { didSelectRow(index.row()); });

    m_listPanel = new ListPanel(ui.playlistContainer, ui.playlistButton, this);

    // Bottom bar: the buttons are told apart by their titles.
    const QStringList titles = {QStringLiteral("Songs"), QStringLiteral("Playlists"),
                                QStringLiteral("Settings"), QStringLiteral("Contact")};
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = new GradientButton(titles[i], this);
        button->setGeometry(i * 80, 425, 80, 35);
        button->setBackgroundColor(Theme::kToolbar);
        button->setTitleColor(Theme::kText);
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
        connect(button, &QPushButton::clicked, this,
                [this, title = titles[i]] { barButtonPressed(title); });
        m_barButtons.append(button);
    }
    ui.interfaceView->raise();
    ui.playlistContainer->raise();
    setTabOrder();
}

void MainViewController::setTabOrder()
{
    QList<QWidget *> chain = {ui.repeatButton,  ui.backwardButton,  ui.playButton,
                              ui.forwardButton, ui.shuffleButton,   ui.videoButton,
                              ui.volumeView,    ui.playlistButton,  ui.table,
                              ui.timeSeeker,    ui.currentTimeLabel};
    chain += m_barButtons;
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// ---- The current list ----

const MediaList& MainViewController::tableContents() const
{
    return m_model->items();
}

void MainViewController::updateLastPlaylist()
{
    m_currentList->store();
}

void MainViewController::addCollectionWithItems(const QStringList& paths)
{
    addCollectionWithItems(paths, true, {});
}

void MainViewController::addCollectionWithItems(const QStringList& paths, bool report,
                                                std::function<void()> then)
{
    m_currentList->append(paths, report, std::move(then));
}

void MainViewController::addCollectionWithFileName(const QString& name)
{
    m_currentList->replaceWithPlaylist(name);
}

void MainViewController::listInstalled()
{
    m_model->setCurrentRow(m_currentSong);
    updateInfoLabel();
    notifyRemote();
}

void MainViewController::showAlertWithItems(int count)
{
    CurrentList::showCountAlert(count);
}

void MainViewController::createPlaylist()
{
    Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Playlist"));
    alert->setCallback([this](int button, const QString& text) {
        if (button == 1)
            PlaylistHelper::createPlaylistWithName(text, tableContents(), true);
        dismissPopupView();
    });
    alert->show();
}

void MainViewController::clearPlaylist()
{
    auto *alert = new Alert(
        QString(),
        QStringLiteral("Are you sure you want to delete all the files from your current playlist"),
        QStringLiteral("NO"), {QStringLiteral("YES")});
    alert->setDefaultButton(0); // Return never clears
    alert->setCallback([this](int button, const QString&) {
        if (button == 1) {
            m_model->clear();
            notifyRemote();
        }
        dismissPopupView();
    });
    alert->show();
}

void MainViewController::presentScreen(QWidget *screen)
{
    dismissPopupView();
    if (ScreenStack *stack = ScreenStack::of(this))
        stack->present(screen);
    else
        delete screen;
}

void MainViewController::openPlaylist()
{
    auto *screen = new PlaylistsController;
    screen->setPlayHandler([this](const QString& name) { addCollectionWithFileName(name); });
    screen->setDetailsFactory([](const QString& name) { return new PlaylistDetails(name); });
    presentScreen(screen);
}

void MainViewController::deviceMemory()
{
    auto *screen = new SongsController;
    screen->setPlayHandler([this](const QStringList& paths) { addCollectionWithItems(paths); });
    screen->setPlayNowHandler([this](const QString& path) {
        addCollectionWithItems({path}, false, [this, path] {
            const int last = int(tableContents().size()) - 1;
            if (last >= 0 && tableContents().at(last)->filePath == path)
                loadPlayerWithPath(last);
        });
    });
    presentScreen(screen);
}

void MainViewController::itunesMemory()
{
    auto *screen = new ItunesLibrary(m_mediaRoot);
    screen->setPlayHandler([this](const QStringList& paths) { addCollectionWithItems(paths); });
    presentScreen(screen);
}

void MainViewController::showAbout()
{
    // One About screen at a time.
    const ScreenStack *stack = ScreenStack::of(this);
    if (!(stack && stack->topController() &&
          qobject_cast<AboutController *>(stack->topController()->rootScreen())))
        presentScreen(new AboutController);
}

// ---- Transport ----

bool MainViewController::tryLoad(int index)
{
    const MediaDescPtr item = tableContents().value(index);
    const QString path = item && item->filePath ? *item->filePath : QString();
    if (path.isEmpty() || !FileManager::fileExistAtPath(path) ||
        !FileManager::fileIsSupported(path))
        return false;
    std::unique_ptr<CAPlayer> engine;
    if (m_nextPlayer && m_nextIndex == index)
        engine = std::move(m_nextPlayer); // already queued, or sounding since a join
    dropNext();
    if (!engine)
        engine = m_engineFactory ? m_engineFactory(path) : std::make_unique<CAPlayer>(path);
    if (!engine || !engine->isValid())
        return false;
    std::unique_ptr<CAPlayer> previous = std::move(m_player);
    if (previous)
        previous->setDelegate(nullptr); // its teardown reports NO to nobody
    m_player = std::move(engine);
    stopTimer();
    m_player->setDelegate(this);
    m_player->prepareToPlay();
    m_player->play();
    // Only now: the device then passes straight from the old stream to the new one
    // (smoothed) instead of pausing in between.
    previous.reset();

    ui.timeSeeker->setRange(0, int(m_player->duration() * 1000.0f));
    ui.timeSeeker->setValue(0);
    ui.timeSeeker->show();
    showSongName();
    updateInfoLabel();
    const bool video = FileManager::isVideoFile(path);
    ui.videoButton->setEnabled(video);
    if (!video && m_videoController)
        m_videoController->deleteLater();
    m_model->setCurrentRow(index);
    m_model->setFailed(index, false);
    notifyRemote();
    prepareNext();
    return true;
}

void MainViewController::prepareNext()
{
    // Once the current file has ended, the queued engine sounds already; the end's
    // handler takes it over.
    if (m_nextPlayer && m_player && m_player->isAtEnd())
        return;
    dropNext();
    const int count = int(tableContents().size());
    if (!m_player || !m_player->canBeFollowed() || count == 0)
        return;
    // The draw for shuffle is made now instead of at the end: the distribution is
    // the same, and the index is kept even when its item cannot be prepared, so
    // that the end goes where the draw said.
    const int index = TransportRules::nextIndex(m_currentSong, count, m_modes, m_random);
    if (index < 0 || index >= count)
        return;
    m_nextIndex = index;
    const MediaDescPtr item = tableContents().value(index);
    const QString path = item && item->filePath ? *item->filePath : QString();
    if (path.isEmpty() || !FileManager::fileExistAtPath(path) ||
        !FileManager::fileIsSupported(path))
        return;
    auto engine = m_engineFactory ? m_engineFactory(path) : std::make_unique<CAPlayer>(path);
    if (engine && engine->playAfter(*m_player))
        m_nextPlayer = std::move(engine);
}

void MainViewController::dropNext()
{
    m_nextPlayer.reset(); // leaves the device's queue
    m_nextIndex = -1;
}

void MainViewController::loadPlayerWithPath(int index)
{
    if (index < 0 || index >= tableContents().size())
        return;
    m_skipGuard.reset();
    m_skipGuard.tryIndex(index);
    m_currentSong = index;
    if (tryLoad(index))
        return;
    m_model->setFailed(index, true);
    skipFrom(index);
}

void MainViewController::skipFrom(int failedIndex)
{
    int lastTried = failedIndex;
    const int count = int(tableContents().size());
    while (count > 0) {
        const int index = TransportRules::nextIndex(lastTried, count, m_modes, m_random);
        if (index < 0 || index >= count || !m_skipGuard.tryIndex(index))
            break;
        lastTried = index;
        m_currentSong = index;
        if (tryLoad(index))
            return;
        m_model->setFailed(index, true);
    }
    showStopped(lastTried);
}

void MainViewController::showStopped(int lastTriedIndex)
{
    dropNext();
    if (m_player)
        m_player->setDelegate(nullptr);
    m_player.reset();
    stopTimer();
    m_currentSong = lastTriedIndex;
    showSongName();
    ui.timeSeeker->hide();
    ui.currentTimeLabel->setText(QStringLiteral("0:00"));
    ui.videoButton->setEnabled(false);
    updateInfoLabel();
    m_model->setCurrentRow(lastTriedIndex);
    notifyRemote();
}

bool MainViewController::advance(bool forward)
{
    const int count = int(tableContents().size());
    if (count == 0)
        return false;
    int index = m_nextIndex;
    if (!forward)
        index = TransportRules::previousIndex(m_currentSong, count, m_modes, m_random);
    else if (index < 0)
        index = TransportRules::nextIndex(m_currentSong, count, m_modes, m_random);
    if (index < 0 || index >= count)
        return false;
    const bool sameItem = index == m_currentSong;
    loadPlayerWithPath(index);
    if (sameItem && m_mpris)
        m_mpris->playerSeeked(0);
    return true;
}

void MainViewController::forwardButton()
{
    advance(true);
}

void MainViewController::backwardButton()
{
    advance(false);
}

void MainViewController::playButton()
{
    if (m_player && m_player->isPlaying())
        m_player->pause();
    else if (m_player && m_player->isPaused())
        m_player->play();
    else if (m_currentSong >= 0 && m_currentSong < tableContents().size())
        loadPlayerWithPath(m_currentSong);
}

void MainViewController::repeatButton()
{
    if (m_modes.repeatOne) {
        m_modes.repeatOne = false;
        m_modes.repeatAll = true;
        m_repeatImage = QStringLiteral("repeat_on.png");
    } else if (m_modes.repeatAll) {
        m_modes.repeatAll = false;
        m_repeatImage = QStringLiteral("repeat_off.png");
    } else {
        m_modes.repeatOne = true;
        m_repeatImage = QStringLiteral("repeat_on_1.png");
    }
    ui.repeatButton->setIcon(Icons::named(m_repeatImage));
    prepareNext();
    notifyRemote();
}

void MainViewController::shuffleButton()
{
    m_modes.shuffleOn = !m_modes.shuffleOn;
    m_shuffleImage =
        m_modes.shuffleOn ? QStringLiteral("shuffle_on.png") : QStringLiteral("shuffle_off.png");
    ui.shuffleButton->setIcon(Icons::named(m_shuffleImage));
    prepareNext();
    notifyRemote();
}

void MainViewController::seekTime(float seconds)
{
    if (!m_player)
        return;
    m_player->setTime(seconds);
    if (m_mpris)
        m_mpris->playerSeeked(qint64(double(m_player->getTime()) * 1e6));
}

void MainViewController::seekBy(float delta)
{
    if (!m_player)
        return;
    seekTime(std::clamp(m_player->getTime() + delta, 0.0f, qMax(0.0f, m_player->duration())));
    updateUI();
}

void MainViewController::countDown()
{
    m_countDown = !m_countDown;
    updateUI();
}

QString MainViewController::currentSongName() const
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    if (!item)
        return {};
    if (item->title && item->artist)
        return QStringLiteral("%1 - %2").arg(*item->artist, *item->title);
    if (item->title)
        return *item->title;
    if (item->artist)
        return *item->artist;
    return PlaylistModel::fileTitle(item->filePath.value_or(QString()));
}

void MainViewController::showSongName()
{
    const QString name = currentSongName();
    QLabel *label = ui.songNameLabel;
    label->ensurePolished(); // the style sheet sets the font
    const int lines = std::max(1, label->height() / label->fontMetrics().lineSpacing());
    label->setText(wrappedAndElided(name, label->font(), label->width(), lines));
    label->setToolTip(name);
}

bool MainViewController::isTimerRunning() const
{
    return m_timer->isActive();
}

void MainViewController::startTimer()
{
    m_timer->start();
    setPlayImage(QStringLiteral("pause.png"));
}

void MainViewController::stopTimer()
{
    m_timer->stop();
    setPlayImage(QStringLiteral("play.png"));
}

void MainViewController::setPlayImage(const QString& image)
{
    m_playImage = image;
    ui.playButton->setIcon(Icons::named(image));
    ui.playButton->setAccessibleName(image.startsWith(QLatin1String("pause"))
                                         ? QStringLiteral("Pause")
                                         : QStringLiteral("Play"));
}

QString MainViewController::timeText(float seconds, bool countDown)
{
    const int minutes = int(seconds / 60.0f);
    const int rest = int(seconds - 60.0f * float(minutes));
    const QString sign = countDown ? QStringLiteral("-") : QString();
    return rest > 9 ? QStringLiteral("%1%2:%3").arg(sign).arg(minutes).arg(rest)
                    : QStringLiteral("%1%2:0%3").arg(sign).arg(minutes).arg(rest);
}

void MainViewController::updateUI()
{
    if (!m_player)
        return;
    const float played = m_player->getTime();
    ui.currentTimeLabel->setText(
        timeText(m_countDown ? m_player->duration() - played : played, m_countDown));
    if (!ui.timeSeeker->isSliderDown())
        ui.timeSeeker->setValue(int(played * 1000.0f));
}

void MainViewController::updateInfoLabel()
{
    ui.playlistInfoLabel->setText(
        QStringLiteral("%1 of %2").arg(m_currentSong + 1).arg(tableContents().size()));
}

void MainViewController::didSelectRow(int row)
{
    m_currentSong = row;
    loadPlayerWithPath(m_currentSong);
    ui.table->clearSelection();
}

void MainViewController::motionEnded()
{
    if (SettingsHelper::getSwitchStateForSettingWithName(QStringLiteral("Shake To Shuffle")))
        forwardButton();
}

void MainViewController::playerIsPlaying(bool playing)
{
    if (playing) {
        if (!m_backgroundMode && !m_timer->isActive())
            startTimer();
    } else {
        stopTimer();
    }
    notifyRemote();
}

void MainViewController::playerDidFinishPlaying()
{
    // An engine stays "playing" at the end of its file; with nothing to follow it
    // the player must show, and report, that no sound is produced.
    if (m_player && !m_player->hasDecodedFrames()) {
        // Opened, but nothing in it could be played: a failed item of this run.
        m_model->setFailed(m_currentSong, true);
        skipFrom(m_currentSong);
        return;
    }
    if (!advance(true))
        showStopped(m_currentSong);
}

void MainViewController::beginInterruption()
{
    m_playingBeforeInterruption = m_player && m_player->isPlaying();
    if (m_player)
        m_player->pause();
}

void MainViewController::endInterruption()
{
    // Resuming a player the user had paused would be a surprise after a wake-up.
    if (m_player && m_playingBeforeInterruption)
        m_player->play();
    m_playingBeforeInterruption = false;
}

void MainViewController::appIsSuspended(bool background)
{
    m_backgroundMode = background;
    if (background) {
        stopTimer();
        if (m_videoController) {
            // The picture goes away; the sound was the engine's all along and goes on.
            m_videoController->hide();
            m_videoController->deleteLater();
            m_videoController = nullptr;
        }
        return;
    }
    if (!m_videoController && m_player && m_player->isPlaying())
        startTimer();
    updateUI();
}

void MainViewController::showVideo()
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    if (!item || !item->filePath || !FileManager::isVideoFile(*item->filePath) || !m_player ||
        m_videoController)
        return;
    QWidget *host = window();
    MovieScreen *screen = m_movieFactory ? m_movieFactory(host) : new VideoMovieScreen(host);
    m_videoController = screen;
    screen->setGeometry(host->rect());
    connect(screen, &MovieScreen::finished, this, &MainViewController::movieDidFinish);
    // The engine goes on playing (or stays paused): its sound is the movie's sound and
    // its time the picture's clock. Once another item is loaded the clock reads NaN.
    const CAPlayer *engine = m_player.get();
    const int song = m_currentSong;
    screen->play(*item->filePath, [this, engine, song] {
        return m_player.get() == engine && m_currentSong == song ? double(engine->getTime())
                                                                 : std::nan("");
    });
    if (m_videoController != screen)
        return; // the picture could not be shown; the user has been told
    screen->show();
    screen->raise();
}

void MainViewController::movieDidFinish()
{
    MovieScreen *screen = m_videoController;
    if (!screen)
        return;
    // The engine kept its place under the picture; only a movie closed at its end
    // moves on to the next item.
    const double time = screen->currentTime();
    const double length = screen->duration();
    if (!m_backgroundMode && m_player && !std::isnan(time) && !std::isnan(length) && time >= length)
        forwardButton();
    screen->hide();
    screen->deleteLater();
    m_videoController = nullptr;
}

// ---- The screen ----

QList<PopupView *> MainViewController::popupViews() const
{
    QList<PopupView *> menus;
    for (QObject *child : children())
        if (auto *popup = qobject_cast<PopupView *>(child);
            popup && (popup->tag() == kPopupTag || popup->tag() == kPopupTag + 1))
            menus.append(popup);
    return menus;
}

void MainViewController::barButtonPressed(const QString& title)
{
    dismissPopupView();
    struct Entry {
        QString title;
        void (MainViewController::*action)();
    };
    QList<Entry> entries;
    QRect frame;
    if (title == QLatin1String("Songs")) {
        frame = {2, 342, 80, 70};
        entries = {{QStringLiteral("Device"), &MainViewController::deviceMemory},
                   {QStringLiteral("iTunes"), &MainViewController::itunesMemory}};
    } else if (title == QLatin1String("Playlists")) {
        frame = {80, 308, 80, 104};
        entries = {{QStringLiteral("Create"), &MainViewController::createPlaylist},
                   {QStringLiteral("Open"), &MainViewController::openPlaylist},
                   {QStringLiteral("Clear"), &MainViewController::clearPlaylist}};
    } else if (title == QLatin1String("Settings")) {
        auto *settings = new SettingsController([this] { return m_player.get(); });
        settings->setBookmarksFactory([] { return new BookmarksList; });
        // The engine prepared for the next item read the settings stored before;
        // it is prepared again with what the screens stored.
        connect(settings, &QObject::destroyed, this, [this] { prepareNext(); });
        presentScreen(settings);
        return;
    } else {
        // The contact mail goes to the desktop's mail program; with none, nothing
        // is shown. Asking the desktop may take a moment, so it is asked on a worker.
        const QUrl mail(
            QStringLiteral("mailto:%1?subject=%2")
                .arg(QStringLiteral(QUAVER_CONTACT_EMAIL), QStringLiteral(QUAVER_CONTACT_SUBJECT)));
        Dispatch::globalHigh([mail] {
            if (AboutController::hasMailHandler())
                Dispatch::main([mail] { QDesktopServices::openUrl(mail); });
        });
        return;
    }
    auto *popup = new PopupView(frame, this);
    popup->setTag(kPopupTag);
    popup->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.5));
    for (int i = 0; i < entries.size(); ++i) {
        auto *button = GradientButton::menuButton(entries[i].title, popup);
        button->setGeometry(1, 1 + 34 * i, 78, 34);
        connect(button, &QPushButton::clicked, this, entries[i].action);
    }
    QWidget *focus = QApplication::focusWidget();
    m_menuOpener = focus && isAncestorOf(focus) ? focus : nullptr;
    popup->show();
    popup->raise();
    popup->focusFirstEntry();
    m_popoverIsActive = true;
}

void MainViewController::dismissPopupView()
{
    if (!m_popoverIsActive)
        return;
    const QList<PopupView *> menus = popupViews();
    for (PopupView *menu : menus) {
        menu->hide();
        menu->deleteLater();
    }
    if (!menus.isEmpty())
        m_popoverIsActive = false;
}

void MainViewController::myAction()
{
    if (!m_popoverIsActive)
        return;
    dismissPopupView();
    m_popoverIsActive = false;
}

void MainViewController::mousePressEvent(QMouseEvent *event)
{
    // A tap outside an open menu closes it; taps on the menu reach its buttons.
    if (m_popoverIsActive) {
        const QList<PopupView *> menus = popupViews();
        if (!menus.isEmpty() && !menus.last()->geometry().contains(event->position().toPoint()))
            dismissPopupView();
    }
    QWidget::mousePressEvent(event);
}

QString MainViewController::keysHelp()
{
    return QStringLiteral("Space: play or pause\n"
                          "Left / Right: back or forward 5 s\n"
                          "Page Down / Page Up: back or forward 30 s\n"
                          "Up / Down: volume up or down\n"
                          "Tab: next control; Return: press it\n"
                          "Escape: close the menu\n"
                          "Ctrl+K: next, when Shake To Shuffle is on\n"
                          "F1: About");
}

bool MainViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == ui.timeSeeker)
        seekToClick(static_cast<QMouseEvent *>(event));
    else if (event->type() == QEvent::KeyPress)
        return screenKey(watched, static_cast<QKeyEvent *>(event));
    return false;
}

bool MainViewController::screenKey(QObject *receiver, const QKeyEvent *key)
{
    // A key the focus widget ignores travels on to its parents, each time through
    // this filter: only its first receiver decides. Without a focus widget the
    // window receives it.
    QWidget *focus = QApplication::focusWidget();
    const bool onScreen = focus ? receiver == focus && (focus == this || isAncestorOf(focus))
                                : receiver == window() && isVisible();
    if (!onScreen || m_videoController)
        return false;
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier)
        return false;

    if (key->key() == Qt::Key_Escape && m_popoverIsActive) {
        dismissPopupView();
        if (m_menuOpener)
            m_menuOpener->setFocus(Qt::PopupFocusReason);
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        auto *button = qobject_cast<QAbstractButton *>(focus);
        if (!button || !button->isEnabled())
            return false; // the list opens its row itself
        button->click();
        return true;
    }

    for (QWidget *w = focus; w && w != this; w = w->parentWidget()) {
        if (auto *menu = qobject_cast<PopupView *>(w)) {
            // A menu keeps the focus on its entries; a button alone would take
            // every arrow for a Tab.
            const int k = key->key();
            if (k == Qt::Key_Up || k == Qt::Key_Down)
                menu->moveEntryFocus(k == Qt::Key_Down ? 1 : -1);
            return k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Left || k == Qt::Key_Right;
        }
    }
    // Where the arrows have a meaning of their own, they keep it.
    if (focus && (focus->testAttribute(Qt::WA_InputMethodEnabled) ||
                  qobject_cast<QAbstractItemView *>(focus)))
        return false;
    switch (key->key()) {
    case Qt::Key_Left:
        seekBy(-kSeekStep);
        return true;
    case Qt::Key_Right:
        seekBy(kSeekStep);
        return true;
    case Qt::Key_PageDown:
        seekBy(-kSeekPage);
        return true;
    case Qt::Key_PageUp:
        seekBy(kSeekPage);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        ui.volumeView->setValue(ui.volumeView->value() +
                                (key->key() == Qt::Key_Up ? kVolumeStep : -kVolumeStep));
        return true;
    default:
        return false;
    }
}

void MainViewController::seekToClick(const QMouseEvent *press)
{
    QSlider *slider = ui.timeSeeker;
    if (press->button() != Qt::LeftButton || slider->maximum() <= slider->minimum())
        return;
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    QStyle *style = slider->style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QPoint at = press->position().toPoint();
    if (handle.contains(at))
        return; // a drag of the knob
    const int span = groove.width() - handle.width();
    const int x = at.x() - groove.left() - handle.width() / 2;
    // With the knob under the pointer, the slider takes the press as the start of a
    // drag rather than a page step.
    slider->setSliderPosition(
        QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), x, qMax(1, span)));
}

void MainViewController::animatePlaylist()
{
    m_listPanel->toggle();
}

void MainViewController::swipePlaylist(bool up)
{
    m_listPanel->swipe(up);
}

// ---- Remote control ----

void MainViewController::notifyRemote()
{
    if (m_mpris)
        m_mpris->playerStateChanged();
}

void MainViewController::remoteControlReceivedWithEvent(int subtype)
{
    switch (subtype) {
    case RemoteControlPause:
        playButton();
        break;
    case RemoteControlStop:
        if (m_player)
            m_player->stop();
        break;
    case RemoteControlTogglePlayPause:
        // Without an engine (after a restart, or once the list ran out) the key
        // does what the play button does: it loads the current item.
        if (m_player && m_player->isPlaying())
            m_player->pause();
        else if (m_player)
            m_player->play();
        else
            playButton();
        break;
    case RemoteControlNextTrack:
        forwardButton();
        break;
    case RemoteControlPreviousTrack:
        backwardButton();
        break;
    default: // play and every other subtype are ignored
        break;
    }
}

RemoteControlTarget::PlaybackStatus MainViewController::remotePlaybackStatus() const
{
    if (m_player && m_player->isPlaying())
        return PlaybackStatus::Playing;
    if (m_player && m_player->isPaused())
        return PlaybackStatus::Paused;
    return PlaybackStatus::Stopped;
}

std::optional<RemoteControlTarget::Track> MainViewController::remoteCurrentTrack() const
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    if (!item || !m_player)
        return std::nullopt;
    Track track;
    track.index = m_currentSong;
    track.title = item->title.value_or(QString());
    track.artist = item->artist.value_or(QString());
    track.filePath = item->filePath.value_or(QString());
    track.album = item->album.value_or(QString());
    track.lengthUs = qint64(double(m_player->duration()) * 1e6);
    return track;
}

qint64 MainViewController::remotePosition() const
{
    return m_player ? qint64(double(m_player->getTime()) * 1e6) : 0;
}

RemoteControlTarget::LoopStatus MainViewController::remoteLoopStatus() const
{
    return m_modes.repeatOne   ? LoopStatus::Track
           : m_modes.repeatAll ? LoopStatus::Playlist
                               : LoopStatus::None;
}

bool MainViewController::remoteShuffle() const
{
    return m_modes.shuffleOn;
}

bool MainViewController::remoteCanGoNext() const
{
    return !tableContents().isEmpty();
}

bool MainViewController::remoteCanGoPrevious() const
{
    return !tableContents().isEmpty();
}

bool MainViewController::remoteCanPlay() const
{
    return m_player || (m_currentSong >= 0 && m_currentSong < tableContents().size());
}

bool MainViewController::remoteCanPause() const
{
    return m_player && m_player->isPlaying();
}

bool MainViewController::remoteCanSeek() const
{
    return m_player && m_player->duration() > 0;
}

double MainViewController::remoteVolume() const
{
    return ui.volumeView->value() / 100.0;
}

void MainViewController::remoteSetVolume(double volume)
{
    ui.volumeView->setValue(int(std::lround(volume * 100.0)));
}

void MainViewController::remoteSeek(qint64 positionUs)
{
    if (m_player)
        m_player->setTime(float(double(positionUs) / 1e6));
}

void MainViewController::remoteSetLoopStatus(LoopStatus status)
{
    // Step the button until it shows the mode asked for.
    for (int i = 0; i < 3 && remoteLoopStatus() != status; ++i)
        repeatButton();
}

void MainViewController::remoteSetShuffle(bool on)
{
    if (m_modes.shuffleOn != on)
        shuffleButton();
}

void MainViewController::remoteRaise()
{
    window()->showNormal();
    window()->raise();
    window()->activateWindow();
}

void MainViewController::remoteQuit()
{
    window()->close();
}
