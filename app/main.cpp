#include "BuildConfig.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "platform/Dispatch.h"
#include "platform/UnixSignalWatcher.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LaunchOptions parseCommandLine(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quaver Pro: plays music and video files straight from your folders."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption mediaRoot(
        QStringLiteral("media-root"),
        QStringLiteral("Folder that holds the music-library databases (default: "
                       "$QUAVER_MEDIA_ROOT, else /var/mobile/Media)."),
        QStringLiteral("DIR"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window to FILE (PNG) once shown, then quit."),
        QStringLiteral("FILE"));
    const QCommandLineOption windowSize(
        QStringLiteral("window-size"),
        QStringLiteral("Open the window at this size, e.g. 800x600 (default: the size it "
                       "had when it was last closed)."),
        QStringLiteral("WxH"));
    const QCommandLineOption resume(
        QStringLiteral("resume"),
        QStringLiteral("Play at once from where the last session left off: the item, the time, "
                       "repeat and shuffle (stored while Resume Playback is on)."));
    parser.addOption(resume);
    parser.addOption(mediaRoot);
    parser.addOption(screenshot);
    parser.addOption(windowSize);
    parser.addPositionalArgument(QStringLiteral("paths"),
                                 QStringLiteral("Files or folders to add to the current list."),
                                 QStringLiteral("[FILE|FOLDER...]"));
    parser.process(app);

    LaunchOptions options;
    const QString envRoot = qEnvironmentVariable("QUAVER_MEDIA_ROOT");
    if (parser.isSet(mediaRoot))
        options.mediaRoot = parser.value(mediaRoot);
    else if (!envRoot.isEmpty())
        options.mediaRoot = envRoot;
    options.screenshotPath = parser.value(screenshot);
    options.resume = parser.isSet(resume);
    if (parser.isSet(windowSize)) {
        const QStringList wh = parser.value(windowSize).split(QLatin1Char('x'));
        bool okW = false, okH = false;
        const int w = wh.value(0).toInt(&okW), h = wh.value(1).toInt(&okH);
        if (wh.size() != 2 || !okW || !okH || w <= 0 || h <= 0) {
            std::fprintf(stderr, "quaver-pro: --window-size wants WIDTHxHEIGHT, such as 800x600\n");
            std::exit(2);
        }
        options.windowSize = QSize(w, h);
    }
    options.paths = parser.positionalArguments();
    return options;
}

// True when the command line asks only for text: such a run must work without a
// display (over SSH, in a package build), so it is answered before a QApplication,
// which needs a platform plugin, exists.
bool asksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("quaver-pro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUAVER_VERSION));
    if (asksForHelpOrVersion(argc, argv)) {
        // Prints and exits, unless the flag was an option's value ("--media-root -v").
        QCoreApplication textOnly(argc, argv);
        parseCommandLine(textOnly);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quaver Pro"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quaverpro.QuaverPro"));

    const LaunchOptions options = parseCommandLine(app);

    // One copy per user: a later launch hands its files to the running one and
    // ends. A screenshot run is a throwaway beside it: it neither takes the name
    // nor hands anything over, and it stores nothing.
    SingleInstance instance;
    if (options.screenshotPath.isEmpty()) {
        if (instance.claim(options.paths) == SingleInstance::Role::HandedOver)
            return 0;
    } else {
        UserDefaults::setStandardAccess(UserDefaults::Access::ReadOnly);
    }

    // A stop request (kill, Ctrl+C, logout) ends the program as closing the window
    // does: main returns, and the delegate stores what is pending as it goes. The
    // watcher outlives the delegate, so a different stop signal during that store
    // is absorbed; the same signal again ends the program at once.
    UnixSignalWatcher stopSignals;
    for (int signum : {SIGTERM, SIGINT, SIGHUP})
        stopSignals.watch(signum);
    QObject::connect(&stopSignals, &UnixSignalWatcher::received, &app, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });

    int status = 0;
    {
        AppDelegate delegate;
        delegate.didFinishLaunching(options);
        instance.setHandler(
            [&delegate](const QStringList& paths) { delegate.openFromAnotherLaunch(paths); });

        if (!options.screenshotPath.isEmpty()) {
            // With files to add, wait until the list has them.
            QTimer::singleShot(options.paths.isEmpty() ? 0 : 1500, &app, [&] {
                const bool saved = delegate.window()->grab().save(options.screenshotPath, "PNG");
                if (!saved)
                    std::fprintf(stderr, "quaver-pro: cannot write %s\n",
                                 qPrintable(options.screenshotPath));
                QApplication::exit(saved ? 0 : 1);
            });
        }
        status = QApplication::exec();
    } // the delegate's end writes the stores

    // A worker still stuck (a file on a hung disk) would hold the application's
    // teardown for ever, which waits for every worker. The stores are written, so
    // the process ends here instead; the system releases the rest.
    if (!Dispatch::waitForWorkers(std::chrono::milliseconds(0))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
