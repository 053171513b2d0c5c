#pragma once

// The application's life: builds the one window with the player as its root
// screen, posts "Background" when the window is minimised or hidden and when it
// comes back, and sends the install statistics ping on returns to the foreground
// until one has completed. Main thread only.
//
// It owns the Transport (the playback side) and the window whose root screen
// shows it. Destroying it ends the session: the window and the player screen go
// first, then the transport, which waits for the stores still queued on workers
// (the current list); then the settings are written. The network objects are its
// children: a request still in flight is cancelled with it, so none outlives the
// application object.

#include "app/LaunchOptions.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

class MainViewController;
class QNetworkAccessManager;
class QWidget;
class Transport;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // The window's size at a first start, in logical pixels; it may be made as
    // small as the player's smallest layout. Its size and place when it closes are
    // remembered under kWindowGeometryKey in the user defaults.
    static constexpr QSize kDefaultWindowSize{420, 640};
    static inline const QString kWindowGeometryKey = QStringLiteral("WindowGeometry");

    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Builds and shows the window; the command line's files join the current list
    // and the first of them plays, as do files and folders dropped on the window
    // later (DropTarget). Always true.
    bool didFinishLaunching(const LaunchOptions& options);
    // What a later launch handed over (SingleInstance): its files (absolute) are
    // added and played as the command line's are, and the window comes to the
    // front. Nothing before didFinishLaunching.
    void openFromAnotherLaunch(const QStringList& paths);

    void applicationDidEnterBackground();
    void applicationWillEnterForeground();

    // The window's title for what transport plays: "Title \u2014 Artist", the title
    // alone without an artist (the file's name without a title tag), "Quaver Pro"
    // while nothing is loaded.
    static QString windowTitle(const Transport& transport);

    QWidget *window() const { return _window.get(); }
    MainViewController *viewController() const { return _viewController; }
    Transport *transport() const { return _transport.get(); }
    const LaunchOptions& launchOptions() const { return m_options; }

    // Base URL of the statistics endpoint (the ping goes to "<base>/info.php"). An
    // empty URL, the default when the build sets none, disables the ping.
    void setStatsEndpoint(const QUrl& base) { m_statsEndpoint = base; }
    QUrl statsEndpoint() const { return m_statsEndpoint; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sendInstallPingIfDue();
    void addAndPlay(const QStringList& paths);

    // Declared first: destroyed after the window, whose screen holds it.
    std::unique_ptr<Transport> _transport;
    std::unique_ptr<QWidget> _window;
    MainViewController *_viewController = nullptr; // owned by _window
    LaunchOptions m_options;
    QUrl m_statsEndpoint;
    QNetworkAccessManager *m_network = nullptr; // owned (child)
    bool m_inBackground = false;
};
