#include "BuildConfig.h"
#include "app/AppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

LaunchOptions parseCommandLine(const QApplication& app)
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
    parser.addOption(mediaRoot);
    parser.addOption(screenshot);
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
    options.paths = parser.positionalArguments();
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quaver-pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quaver Pro"));
    QApplication::setApplicationVersion(QStringLiteral(QUAVER_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quaver-pro"));

    const LaunchOptions options = parseCommandLine(app);
    AppDelegate delegate;
    delegate.didFinishLaunching(options);

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
    return QApplication::exec();
}
