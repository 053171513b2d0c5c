// quaver-bench paste: pasting a 1 GB file through the browser's file operations,
// with the progress dialog, and a watchdog on the main thread.
#include "BenchRegistry.h"
#include "StallWatchdog.h"

#include "browser/BrowserActions.h"
#include "platform/ActionSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <random>

namespace {

constexpr qint64 kFileBytes = qint64(1) << 30;

// Real data (not sparse, not repeated blocks), so the copy moves every byte.
bool writeBigFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937_64 random(42);
    QByteArray block(4 * 1024 * 1024, Qt::Uninitialized);
    for (qint64 written = 0; written < kFileBytes; written += block.size()) {
        auto *words = reinterpret_cast<quint64 *>(block.data());
        for (qsizetype i = 0; i < block.size() / qsizetype(sizeof(quint64)); ++i)
            words[i] = random();
        if (file.write(block) != block.size())
            return false;
    }
    return file.flush();
}

void pressSheetButton(const QString& title)
{
    while (ActionSheet::openSheets().isEmpty())
        QCoreApplication::processEvents();
    ActionSheet *sheet = ActionSheet::openSheets().constFirst();
    sheet->pressButton(int(sheet->buttonTitles().indexOf(title)));
}

int pasteBench(const QStringList&)
{
    QTemporaryDir dir;
    const QString from = dir.filePath(QStringLiteral("from"));
    const QString to = dir.filePath(QStringLiteral("to"));
    const QString source = from + QStringLiteral("/big.wav");
    if (!dir.isValid() || !QDir().mkpath(from) || !QDir().mkpath(to) || !writeBigFile(source)) {
        std::fprintf(stderr, "paste: cannot write the 1 GB test file in %s\n",
                     qPrintable(dir.path()));
        return 1;
    }

    QWidget window;
    window.resize(320, 460);
    window.show();
    QString current = from;
    BrowserActions actions({[&] { return current; }, [&] { return QStringList{source}; },
                            [&] { return QStringList{source}; }, [] {},
                            [&](const QString& path) { current = path; }},
                           &window);
    actions.showOptions();
    pressSheetButton(QStringLiteral("Copy selected"));
    current = to;
    QCoreApplication::processEvents();

    StallWatchdog watchdog;
    bool finished = false;
    QObject::connect(&actions, &BrowserActions::pasteFinished, [&] { finished = true; });

    actions.showOptions();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    watchdog.start();
    pressSheetButton(QStringLiteral("Paste selected"));
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = timer.elapsed();
    watchdog.stop();
    std::printf("paste_1gb_ms: %lld ms\n", static_cast<long long>(elapsed));
    std::printf("paste_max_main_stall: %lld ms\n", watchdog.maxStallMs());
    return QFileInfo(to + QStringLiteral("/big.wav")).size() == kFileBytes ? 0 : 1;
}

const BenchRegistration paste("paste", "(paste a 1 GB file with the progress dialog)", pasteBench);

} // namespace
