// The player screen: its widgets, their wiring to the transport, the time display and
// the bar's menus. Over 600 lines because the building of the screen fills the
// outlets the rest of the file reads; the frames are PlayerLayout's, the picture
// ArtView's and the keys PlayerKeys', so what is left belongs together.
#include "app/MainViewController.h"

#include "BuildConfig.h"

#include "app/ArtView.h"
#include "app/CurrentList.h"
#include "app/EmptyListHint.h"
#include "app/PlayerKeys.h"
#include "app/PlayerLayout.h"
#include "app/Transport.h"
#include "app/VideoMovieScreen.h"
#include "audio/CAPlayer.h"
#include "browser/BookmarksList.h"
#include "browser/SongsController.h"
#include "itunes/ItunesLibrary.h"
#include "platform/Alert.h"
#include "platform/AppNotifier.h"
#include "platform/Dispatch.h"
#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistDetails.h"
#include "playlists/PlaylistModel.h"
#include "playlists/PlaylistsController.h"
#include "settings/SettingsController.h"
#include "ui/AboutController.h"
#include "ui/AlertViewHelper.h"
#include "ui/GradientButton.h"
#include "ui/Icons.h"
#include "ui/NavigationController.h"
#include "ui/Notice.h"
#include "ui/PopupView.h"
#include "ui/ScreenStack.h"
#include "ui/StoreAlerts.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
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

MainViewController::MainViewController(Transport& transport, QWidget *parent)
    : QWidget(parent), m_transport(transport), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("player"));
    buildScreen();

    m_timer->setObjectName(QStringLiteral("progress"));
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &MainViewController::updateUI);
    connect(&AppNotifier::instance(), &AppNotifier::background, this,
            &MainViewController::appIsSuspended);
    m_keys = new PlayerKeys(*this);
    connectTransport();
    updateInfoLabel();
}

void MainViewController::connectTransport()
{
    Transport *t = &m_transport;
    connect(t, &Transport::itemLoaded, this, &MainViewController::showLoaded);
    connect(t, &Transport::stopped, this, &MainViewController::showStopped);
    connect(t, &Transport::playingChanged, this, &MainViewController::playingChanged);
    connect(t, &Transport::modesChanged, this, &MainViewController::showModes);
    connect(t, &Transport::listChanged, this, &MainViewController::updateInfoLabel);
    connect(t, &Transport::countToReport, this, &MainViewController::showAlertWithItems);
    connect(t, &Transport::failureToReport, this, &StoreAlerts::show);
    connect(t, &Transport::noticeToShow, this,
            [this](const QString& text) { Notice::showOver(this, text); });
    connect(t, &Transport::volumeChanged, ui.volumeView, &QSlider::setValue);
    connect(t, &Transport::raiseRequested, this, [this] {
        window()->showNormal();
        window()->raise();
        window()->activateWindow();
    });
    connect(t, &Transport::quitRequested, this, [this] { window()->close(); });
}

void MainViewController::buildScreen()
{
    setMinimumSize(PlayerLayout::kMinimumSize);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::kWindow);
    pal.setColor(QPalette::WindowText, Theme::kText);
    setPalette(pal);

    // Now playing: behind the list panel when it unfolds.
    ui.songNameLabel = new QLabel(this);
    ui.songNameLabel->setAlignment(Qt::AlignCenter);
    ui.songNameLabel->setWordWrap(true);
    ui.songNameLabel->setStyleSheet(
        QStringLiteral("color: %1; %2")
            .arg(Theme::css(Theme::kText), Theme::fontRule(Theme::kSongTitlePx, true)));
    ui.emptyHint = new EmptyListHint(
        m_transport, [this] { deviceMemory(); }, this);
    ui.artView = new ArtView(this);

    ui.timeSeeker = new QSlider(Qt::Horizontal, this);
    ui.timeSeeker->setAccessibleName(QStringLiteral("Position"));
    ui.timeSeeker->setStyleSheet(Theme::trackSlider());
    ui.timeSeeker->setValue(0);
    ui.timeSeeker->hide();
    // Actions are what the user does to the slider; the timer's setValue is none.
    // The time shows the new place at once: paused, no tick would show it.
    connect(ui.timeSeeker, &QSlider::actionTriggered, this, [this] {
        m_transport.seekTime(float(ui.timeSeeker->sliderPosition()) / 1000.0f);
        updateUI();
    });

    ui.currentTimeLabel = new QPushButton(QStringLiteral("0:00"), this);
    ui.currentTimeLabel->setFlat(true);
    ui.currentTimeLabel->setAccessibleName(QStringLiteral("Time, click for time remaining"));
    ui.currentTimeLabel->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; background: transparent; %2 }")
            .arg(Theme::css(Theme::kRowText), Theme::fontRule(Theme::kRowPx)) +
        Theme::focusRing(QStringLiteral("QPushButton"), 1));
    connect(ui.currentTimeLabel, &QPushButton::clicked, this, &MainViewController::countDown);

    // Control panel.
    ui.interfaceView = new QWidget(this);
    ui.interfaceView->setObjectName(QStringLiteral("interfaceView"));
    ui.interfaceView->setAttribute(Qt::WA_StyledBackground);
    ui.interfaceView->setStyleSheet(QStringLiteral("QWidget#interfaceView { background: %1; }")
                                        .arg(Theme::css(Theme::kControlPanelFade)));
    // The icons take their sizes from the smallest layout; resizeEvent places them.
    const PlayerLayout at = PlayerLayout::forSize(PlayerLayout::kMinimumSize);
    ui.repeatButton =
        iconButton(ui.interfaceView, m_repeatImage, at.repeat, QStringLiteral("Repeat"));
    ui.backwardButton = iconButton(ui.interfaceView, QStringLiteral("backward.png"), at.backward,
                                   QStringLiteral("Previous"));
    ui.playButton = iconButton(ui.interfaceView, m_playImage, at.play, QStringLiteral("Play"));
    ui.forwardButton = iconButton(ui.interfaceView, QStringLiteral("forward.png"), at.forward,
                                  QStringLiteral("Next"));
    ui.shuffleButton =
        iconButton(ui.interfaceView, m_shuffleImage, at.shuffle, QStringLiteral("Shuffle"));
    ui.videoButton = iconButton(ui.interfaceView, QStringLiteral("video.png"), at.video,
                                QStringLiteral("Show video"));
    ui.videoButton->setEnabled(false);
    connect(ui.repeatButton, &QPushButton::clicked, &m_transport, &Transport::repeatButton);
    connect(ui.backwardButton, &QPushButton::clicked, &m_transport, &Transport::backwardButton);
    connect(ui.playButton, &QPushButton::clicked, &m_transport, &Transport::playButton);
    connect(ui.forwardButton, &QPushButton::clicked, &m_transport, &Transport::forwardButton);
    connect(ui.shuffleButton, &QPushButton::clicked, &m_transport, &Transport::shuffleButton);
    connect(ui.videoButton, &QPushButton::clicked, this, &MainViewController::showVideo);

    ui.volumeView = new QSlider(Qt::Horizontal, ui.interfaceView);
    ui.volumeView->setRange(0, 100);
    ui.volumeView->setAccessibleName(QStringLiteral("Volume"));
    ui.volumeView->setStyleSheet(Theme::trackSlider());
    ui.volumeView->setValue(m_transport.volume());
    connect(ui.volumeView, &QSlider::valueChanged, &m_transport, &Transport::setVolume);

    // The list panel.
    ui.playlistContainer = new QWidget(this);
    ui.playlistContainer->setAutoFillBackground(true);
    ui.playlistContainer->setStyleSheet(
        QStringLiteral("background: %1;").arg(Theme::css(Theme::kPanel)));
    ui.playlistButton = new QPushButton(ui.playlistContainer);
    ui.playlistButton->setAccessibleName(QStringLiteral("Show or hide the list"));
    ui.playlistButton->setStyleSheet(QStringLiteral("QPushButton { border: none; background: %1; }")
                                         .arg(Theme::css(Theme::kListHandleFade)) +
                                     Theme::focusRing(QStringLiteral("QPushButton"), 1));
    ui.playlistInfoLabel = new QLabel(ui.playlistButton);
    ui.playlistInfoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui.playlistInfoLabel->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(Theme::css(Theme::kRowText)));
    ui.playlistInfoLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *grip = new QLabel(ui.playlistButton);
    grip->setObjectName(QStringLiteral("grip"));
    grip->setPixmap(Icons::pixmap(QStringLiteral("playlistHandle"), QSize(28, 22)));
    grip->setStyleSheet(QStringLiteral("background: transparent;"));
    grip->setAttribute(Qt::WA_TransparentForMouseEvents);

    ui.table = new QListView(ui.playlistContainer);
    ui.table->setModel(m_transport.model());
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
        button->setObjectName(QStringLiteral("barButton"));
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
    resize(PlayerLayout::kMinimumSize);
    layoutScreen();
}

void MainViewController::layoutScreen()
{
    const PlayerLayout l = PlayerLayout::forSize(size());
    ui.interfaceView->setGeometry(l.controlPanel);
    ui.repeatButton->setGeometry(l.repeat);
    ui.backwardButton->setGeometry(l.backward);
    ui.playButton->setGeometry(l.play);
    ui.forwardButton->setGeometry(l.forward);
    ui.shuffleButton->setGeometry(l.shuffle);
    ui.videoButton->setGeometry(l.video);
    ui.volumeView->setGeometry(l.volume);
    ui.songNameLabel->setGeometry(l.songName);
    ui.timeSeeker->setGeometry(l.seeker);
    ui.currentTimeLabel->setGeometry(l.time);
    ui.emptyHint->setGeometry(l.emptyHint);
    ui.artView->setGeometry(l.art);
    for (int i = 0; i < m_barButtons.size(); ++i)
        m_barButtons[i]->setGeometry(l.barButtons.value(i));

    ui.playlistButton->setGeometry(l.panelHandle);
    ui.playlistInfoLabel->setGeometry(l.panelInfo);
    ui.playlistButton->findChild<QLabel *>(QStringLiteral("grip"))->setGeometry(l.panelGrip);
    ui.table->setGeometry(l.panelTable);
    m_listPanel->setUnfoldedHeight(l.panelWidth, l.panelUnfolded);
    // A name wrapped for the old width is wrapped again for the new one.
    showSongName();
}

void MainViewController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Menus rise from the bar buttons they belong to, which have just moved.
    dismissPopupView();
    layoutScreen();
    if (m_videoController)
        m_videoController->setGeometry(window()->rect());
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

void MainViewController::showAlertWithItems(int count)
{
    Notice::showOver(this, CurrentList::countMessage(count));
}

void MainViewController::createPlaylist()
{
    Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Playlist"));
    alert->setCallback([this](int button, const QString& text) {
        if (button == 1)
            PlaylistAnnouncer::createPlaylistWithName(text, m_transport.tableContents(), true);
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
        if (button == 1)
            m_transport.clearList();
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
    screen->setPlayHandler(
        [this](const QString& name) { m_transport.addCollectionWithFileName(name); });
    screen->setDetailsFactory([](const QString& name) { return new PlaylistDetails(name); });
    presentScreen(screen);
}
void MainViewController::deviceMemory()
{
    auto *screen = new SongsController;
    Transport *t = &m_transport;
    screen->setPlayHandler([t](const QStringList& paths) { t->addCollectionWithItems(paths); });
    screen->setPlayNowHandler([t](const QString& path) {
        t->addCollectionWithItems({path}, false, [t, path] {
            const int last = int(t->tableContents().size()) - 1;
            if (last >= 0 && t->tableContents().at(last)->filePath == path)
                t->loadPlayerWithPath(last);
        });
    });
    presentScreen(screen);
}
void MainViewController::itunesMemory()
{
    auto *screen = new ItunesLibrary(m_mediaRoot);
    screen->setPlayHandler(
        [this](const QStringList& paths) { m_transport.addCollectionWithItems(paths); });
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
// ---- What the transport tells ----

void MainViewController::showLoaded()
{
    const CAPlayer *engine = m_transport.player();
    ui.timeSeeker->setRange(0, int(engine->duration() * 1000.0f));
    ui.timeSeeker->setValue(0);
    ui.timeSeeker->show();
    showSongName();
    updateInfoLabel();
    const bool video = m_transport.currentIsVideo();
    ui.videoButton->setEnabled(video);
    if (!video && m_videoController)
        m_videoController->deleteLater();
}

void MainViewController::showStopped()
{
    stopTimer();
    showSongName();
    ui.timeSeeker->hide();
    ui.currentTimeLabel->setText(timeText(float(m_transport.cuedTime()), false));
    ui.videoButton->setEnabled(false);
    updateInfoLabel();
}

void MainViewController::showModes()
{
    m_repeatImage = m_transport.repeatOne()   ? QStringLiteral("repeat_on_1.png")
                    : m_transport.repeatAll() ? QStringLiteral("repeat_on.png")
                                              : QStringLiteral("repeat_off.png");
    m_shuffleImage = m_transport.shuffleOn() ? QStringLiteral("shuffle_on.png")
                                             : QStringLiteral("shuffle_off.png");
    ui.repeatButton->setIcon(Icons::named(m_repeatImage));
    ui.shuffleButton->setIcon(Icons::named(m_shuffleImage));
}

void MainViewController::playingChanged(bool playing)
{
    if (!playing)
        stopTimer();
    else if (!m_backgroundMode && !m_timer->isActive())
        startTimer();
}

// ---- Time ----

void MainViewController::seekBy(float delta)
{
    m_transport.seekBy(delta);
    updateUI();
}

void MainViewController::countDown()
{
    m_countDown = !m_countDown;
    updateUI();
}
void MainViewController::showSongName()
{
    const MediaDescPtr item = m_transport.tableContents().value(m_transport.currentSong());
    ui.artView->follow(item && item->filePath ? *item->filePath : QString());
    const QString name = m_transport.currentSongName();
    QLabel *label = ui.songNameLabel;
    label->ensurePolished(); // the style sheet sets the font
    const int lines = std::max(1, label->height() / label->fontMetrics().lineSpacing());
    label->setText(wrappedAndElided(name, label->font(), label->width(), lines));
    label->setToolTip(name);
}
bool MainViewController::isTimerRunning() const
{
    return m_ticking;
}
void MainViewController::startTimer()
{
    m_ticking = true;
    m_timer->start(0);
    setPlayImage(QStringLiteral("pause.png"));
}
void MainViewController::stopTimer()
{
    m_ticking = false;
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
    const CAPlayer *engine = m_transport.player();
    if (!engine)
        return;
    const float played = engine->getTime();
    if (m_ticking) {
        // Just past the next whole second of played time, which passes faster or
        // slower with the playback rate; a dragged handle is followed closely.
        const float rate = engine->playbackRate() > 0.0f ? engine->playbackRate() : 1.0f;
        const float untilNext = (std::floor(played) + 1.0f - played) / rate;
        const int delay = ui.timeSeeker->isSliderDown() ? 50 : int(untilNext * 1000.0f) + 5;
        m_timer->start(std::clamp(delay, 5, 1000));
    }
    ui.currentTimeLabel->setText(
        timeText(m_countDown ? engine->duration() - played : played, m_countDown));
    if (!ui.timeSeeker->isSliderDown())
        ui.timeSeeker->setValue(int(played * 1000.0f));
}
void MainViewController::updateInfoLabel()
{
    ui.playlistInfoLabel->setText(QStringLiteral("%1 of %2")
                                      .arg(m_transport.currentSong() + 1)
                                      .arg(m_transport.tableContents().size()));
}
void MainViewController::didSelectRow(int row)
{
    m_transport.loadPlayerWithPath(row);
    ui.table->clearSelection();
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
    if (!m_videoController && m_transport.player() && m_transport.player()->isPlaying())
        startTimer();
    updateUI();
}
void MainViewController::showVideo()
{
    const Transport *t = &m_transport;
    const MediaDescPtr item = t->tableContents().value(t->currentSong());
    if (!item || !t->currentIsVideo() || !t->player() || m_videoController)
        return;
    QWidget *host = window();
    MovieScreen *screen = m_movieFactory ? m_movieFactory(host) : new VideoMovieScreen(host);
    m_videoController = screen;
    screen->setGeometry(host->rect());
    connect(screen, &MovieScreen::finished, this, &MainViewController::movieDidFinish);
    // The engine goes on playing (or stays paused): its sound is the movie's sound and
    // its time the picture's clock. Once another item is loaded the clock reads NaN.
    const CAPlayer *engine = t->player();
    const int song = t->currentSong();
    screen->play(*item->filePath, [t, engine, song] {
        return t->player() == engine && t->currentSong() == song ? double(engine->getTime())
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
    if (!m_backgroundMode && m_transport.player() && !std::isnan(time) && !std::isnan(length) &&
        time >= length)
        m_transport.forwardButton();
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
        frame = PlayerLayout::menuFrame(m_barButtons[0]->geometry(), 2);
        entries = {{QStringLiteral("Device"), &MainViewController::deviceMemory},
                   {QStringLiteral("iTunes"), &MainViewController::itunesMemory}};
    } else if (title == QLatin1String("Playlists")) {
        frame = PlayerLayout::menuFrame(m_barButtons[1]->geometry(), 3);
        entries = {{QStringLiteral("Create"), &MainViewController::createPlaylist},
                   {QStringLiteral("Open"), &MainViewController::openPlaylist},
                   {QStringLiteral("Clear"), &MainViewController::clearPlaylist}};
    } else if (title == QLatin1String("Settings")) {
        auto *settings = new SettingsController(&m_transport);
        settings->setBookmarksFactory([] { return new BookmarksList; });
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
void MainViewController::animatePlaylist()
{
    m_listPanel->toggle();
}
void MainViewController::swipePlaylist(bool up)
{
    m_listPanel->swipe(up);
}
