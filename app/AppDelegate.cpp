#include "app/AppDelegate.h"

#include "BuildConfig.h"
#include "app/AsyncURLConnection.h"
#include "app/DropTarget.h"
#include "app/MainViewController.h"
#include "app/PlayerLayout.h"
#include "app/ResumePoint.h"
#include "app/Transport.h"
#include "platform/AppNotifier.h"
#include "platform/Dispatch.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistModel.h"
#include "services/FileManager.h"
#include "services/FolderListing.h"
#include "services/SettingsHelper.h"

#include "ui/Notice.h"
#include "ui/ScreenStack.h"

#include <QEvent>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {
const QString kInfoKey = QStringLiteral("info");
} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent), m_statsEndpoint(QString::fromUtf8(QUAVER_STATS_URL)),
      m_network(new QNetworkAccessManager(this))
{}

AppDelegate::~AppDelegate()
{
    // The window's geometry and the resume point are set only when they changed: a
    // change makes the last store rewrite the whole file, current list included.
    UserDefaults& defaults = UserDefaults::standard();
    if (const QByteArray geometry = _window ? _window->saveGeometry() : QByteArray();
        !geometry.isEmpty() && defaults.objectForKey(kWindowGeometryKey).toByteArray() != geometry)
        defaults.setObject(kWindowGeometryKey, geometry);
    if (_transport && SettingsHelper::getSwitchStateForSettingWithName(ResumePoint::kSwitch))
        ResumePoint::of(*_transport).store();
    // The player's queued stores finish before the settings are written for the last
    // time; the shared pool's tasks get a short while too. Each wait is bounded (see
    // Dispatch::waitForWorkers for what ends a program whose worker is stuck).
    _window.reset();
    _transport.reset();
    Dispatch::waitForWorkers(std::chrono::milliseconds(200));
    defaults.synchronize();
}

bool AppDelegate::didFinishLaunching(const LaunchOptions& options)
{
    m_options = options;
    _window = std::make_unique<QWidget>();
    _window->setWindowTitle(QStringLiteral("Quaver Pro"));
    _window->setMinimumSize(PlayerLayout::kMinimumSize);
    _window->resize(kDefaultWindowSize);
    // A remembered geometry that no screen shows any more is brought onto one by Qt.
    const QByteArray geometry =
        UserDefaults::standard().objectForKey(kWindowGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        _window->restoreGeometry(geometry);
    if (options.windowSize.isValid())
        _window->resize(options.windowSize);
    auto *layout = new QVBoxLayout(_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    // Every other screen is presented over the player by the stack.
    auto *stack = new ScreenStack(_window.get());
    layout->addWidget(stack);
    _transport = std::make_unique<Transport>();
    _viewController = new MainViewController(*_transport);
    _viewController->setMediaRoot(options.mediaRoot);
    stack->setRootScreen(_viewController);
    new DropTarget(_window.get(), [this](const QStringList& paths) { addAndPlay(paths); });
    const auto showTitle = [this] { _window->setWindowTitle(windowTitle(*_transport)); };
    connect(_transport.get(), &Transport::itemLoaded, _window.get(), showTitle);
    connect(_transport.get(), &Transport::stopped, _window.get(), showTitle);
    _window->installEventFilter(this);
    _window->show();
    _window->activateWindow();
    // The control a keyboard user wants first; Qt would pick the first in the chain
    // that is visible when the window becomes active.
    _viewController->outlets().playButton->setFocus();

    // Resuming cues the item where it was; it plays when the user presses play, or at
    // once when the command line asks to resume and names no files.
    if (options.resume || SettingsHelper::getSwitchStateForSettingWithName(ResumePoint::kSwitch)) {
        if (const std::optional<ResumePoint> point = ResumePoint::stored()) {
            point->cueOn(*_transport);
            if (options.resume && options.paths.isEmpty())
                _transport->playButton();
        }
    }
    addAndPlay(options.paths);
    return true;
}

void AppDelegate::openFromAnotherLaunch(const QStringList& paths)
{
    if (!_window)
        return;
    addAndPlay(paths);
    _window->showNormal();
    _window->raise();
    _window->activateWindow();
}

QString AppDelegate::windowTitle(const Transport& transport)
{
    const MediaDescPtr item = transport.tableContents().value(transport.currentSong());
    if (!transport.player() || !item)
        return QStringLiteral("Quaver Pro");
    const QString title =
        item->title ? *item->title : PlaylistModel::fileTitle(item->filePath.value_or(QString()));
    return item->artist ? QStringLiteral("%1 \u2014 %2").arg(title, *item->artist) : title;
}

void AppDelegate::addAndPlay(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    // The files join the list quietly; the first of them plays. Names the command
    // line could not carry (not valid UTF-8) reach no file, and are told; so are
    // paths that name nothing, also on stderr for the shell that gave them.
    QStringList present;
    QStringList leftOut;
    QStringList missing;
    for (const QString& path : paths) {
        if (FileManager::fileExistAtPath(path))
            present.append(path);
        else if (path.contains(QChar::ReplacementCharacter))
            leftOut.append(FileManager::lastPathComponent(path));
        else
            missing.append(path);
    }
    for (const QString& path : std::as_const(missing))
        std::fprintf(stderr, "quaver-pro: %s: no such file or folder\n", qPrintable(path));
    const QStringList files = FolderListing::expandForPlaying(present, &leftOut);
    QStringList told;
    if (!leftOut.isEmpty())
        told.append(FileManager::inexactNamesMessage(leftOut));
    if (!missing.isEmpty()) {
        QStringList names;
        for (const QString& path : std::as_const(missing))
            names.append(FileManager::lastPathComponent(path));
        told.append(QStringLiteral("Not found: %1").arg(FileManager::quotedNames(names)));
    }
    if (!told.isEmpty())
        Notice::showOver(_window.get(), told.join(QLatin1Char('\n')));
    Transport *transport = _transport.get();
    const int firstNew = int(transport->tableContents().size());
    transport->addCollectionWithItems(files, false, [transport, firstNew] {
        if (firstNew < transport->tableContents().size())
            transport->loadPlayerWithPath(firstNew);
    });
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == _window.get()) {
        switch (event->type()) {
        case QEvent::Hide:
            applicationDidEnterBackground();
            break;
        case QEvent::Show:
            applicationWillEnterForeground();
            break;
        case QEvent::WindowStateChange:
            if (_window->isMinimized())
                applicationDidEnterBackground();
            else if (_window->isVisible())
                applicationWillEnterForeground();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::applicationDidEnterBackground()
{
    if (m_inBackground)
        return;
    m_inBackground = true;
    AppNotifier::instance().postBackground(true);
}

void AppDelegate::applicationWillEnterForeground()
{
    if (!m_inBackground)
        return;
    m_inBackground = false;
    AppNotifier::instance().postBackground(false);
    sendInstallPingIfDue();
}

void AppDelegate::sendInstallPingIfDue()
{
    if (m_statsEndpoint.isEmpty() || UserDefaults::standard().contains(kInfoKey))
        return;
    QUrl url = m_statsEndpoint;
    url.setPath(url.path().chopped(url.path().endsWith(QLatin1Char('/')) ? 1 : 0) +
                QStringLiteral("/info.php"));
    const QByteArray body = QStringLiteral("info=%1-%2")
                                .arg(SystemInfo::systemName(), SystemInfo::systemVersion())
                                .toUtf8();
    AsyncURLConnection::request(
        *m_network, QNetworkRequest(url), "POST", body,
        [](const QByteArray&) {
            UserDefaults& defaults = UserDefaults::standard();
            defaults.setObject(kInfoKey, true);
            defaults.synchronize();
        },
        [](const QString&) {});
}
