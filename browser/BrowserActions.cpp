#include "browser/BrowserActions.h"

#include "media/MediaHelper.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/PlaylistAnnouncer.h"
#include "playlists/PlaylistChooser.h"
#include "services/FileManager.h"
#include "services/PasteJob.h"
#include "ui/AlertViewHelper.h"
#include "ui/Notice.h"
#include "ui/StoreAlerts.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <memory>
#include <optional>

namespace {

const QString kSelectAnOption = QStringLiteral("Select an option");
const QString kCancel = QStringLiteral("Cancel");
const QString kCut = QStringLiteral("Cut selected");
const QString kCopy = QStringLiteral("Copy selected");
const QString kPaste = QStringLiteral("Paste selected");
const QString kDelete = QStringLiteral("Delete selected");

// The dialog appears only for pastes that last, so a small one does not flash.
constexpr int kProgressDelayMs = 300;
constexpr int kProgressTickMs = 50;
constexpr int kProgressSteps = 1000;

void showMessage(const QString& message)
{
    AlertViewHelper::alertMessage(message)->show();
}

// The folder itself when it exists, else the closest folder above it that does.
QString nearestExistingFolder(QString path)
{
    while (!path.isEmpty() && path != QLatin1String("/") && !FileManager::pathIsFolder(path))
        path = FileManager::deletingLastPathComponent(path);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

} // namespace

struct BrowserActions::Private {
    struct Clipboard {
        PasteJob::Mode mode;
        QStringList paths; // taken when cut or copied
    };

    Host host;
    QPointer<QWidget> window;
    std::optional<Clipboard> clipboard; // main thread only
    std::unique_ptr<PasteJob> job;      // main thread only; set while a paste runs
    QPointer<QProgressDialog> progress; // main thread only; child of window
    QTimer progressTimer;               // main thread only
    QElapsedTimer pasteClock;           // main thread only
};

BrowserActions::BrowserActions(Host host, QWidget *window, QObject *parent)
    : QObject(parent), d(new Private)
{
    d->host = std::move(host);
    d->window = window;
    d->progressTimer.setInterval(kProgressTickMs);
    connect(&d->progressTimer, &QTimer::timeout, this, &BrowserActions::updateProgress);
}

BrowserActions::~BrowserActions()
{
    // The job's destructor cancels the paste and waits for it; what it had begun
    // of the item in hand is removed.
    d->job.reset();
    delete d->progress;
    delete d;
}

bool BrowserActions::hasClipboardEntry() const
{
    return d->clipboard.has_value();
}

bool BrowserActions::isPasting() const
{
    return d->job != nullptr;
}

void BrowserActions::showOptions()
{
    QStringList buttons{kCut, kCopy};
    if (hasClipboardEntry())
        buttons.append(kPaste);
    buttons.append(kDelete);
    auto *sheet = new ActionSheet(kSelectAnOption, kCancel, {}, buttons);
    QPointer<BrowserActions> self(this);
    sheet->setCallback([self, buttons](int index) {
        if (!self)
            return;
        const QString title = buttons.value(index);
        if (title == kCut || title == kCopy)
            self->d->clipboard =
                Private::Clipboard{title == kCut ? PasteJob::Mode::Move : PasteJob::Mode::Copy,
                                   self->d->host.selectionList()};
        else if (title == kPaste)
            self->paste();
        else if (title == kDelete)
            self->confirmDelete();
    });
    sheet->show();
}

void BrowserActions::paste()
{
    // A second paste is refused while one runs (the progress dialog also keeps
    // the window's buttons out of reach).
    if (!d->clipboard || d->job)
        return;
    d->job =
        std::make_unique<PasteJob>(d->clipboard->mode, d->clipboard->paths, d->host.currentPath());
    connect(d->job.get(), &PasteJob::finished, this, &BrowserActions::endPaste);
    d->pasteClock.start();
    d->progressTimer.start();
    d->job->start();
}

void BrowserActions::updateProgress()
{
    if (!d->job)
        return;
    if (!d->progress && d->pasteClock.elapsed() >= kProgressDelayMs && d->window) {
        auto *dialog = new QProgressDialog(d->window);
        dialog->setWindowTitle(QStringLiteral("Paste"));
        dialog->setCancelButtonText(kCancel);
        dialog->setRange(0, kProgressSteps);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setWindowModality(Qt::WindowModal);
        // The Cancel button and Escape.
        connect(dialog, &QProgressDialog::canceled, this, [this] {
            if (d->job)
                d->job->cancel();
        });
        d->progress = dialog;
        dialog->show();
    }
    if (!d->progress)
        return;
    const qint64 total = d->job->bytesTotal();
    const qint64 done = qMin(d->job->bytesDone(), total);
    const QLocale locale;
    d->progress->setLabelText(
        QStringLiteral("Pasting %1 of %2")
            .arg(locale.formattedDataSize(done), locale.formattedDataSize(total)));
    d->progress->setValue(total > 0 ? int(done * kProgressSteps / total) : 0);
}

void BrowserActions::endPaste()
{
    d->progressTimer.stop();
    if (d->progress)
        d->progress->deleteLater();
    d->progress = nullptr;
    // Existing destinations and vanished sources are skipped without a word; an
    // item the system refused (no room, no right) is not, or the user would take
    // a paste that lost it for a complete one.
    const bool failed = d->job->failedItems() > 0 && !d->job->isCancelled();
    d->job.reset();
    if (failed)
        showMessage(QStringLiteral("Some of the selected items weren't pasted"));
    // A cut may have taken the shown folder away with it.
    d->host.openFolder(nearestExistingFolder(d->host.currentPath()));
    Q_EMIT pasteFinished();
}

void BrowserActions::confirmDelete()
{
    auto *warning = new Alert(QStringLiteral("Warning !!!"),
                              QStringLiteral("Are you sure you want to delete selected item(s)"),
                              QStringLiteral("NO"), {QStringLiteral("YES")});
    warning->setDefaultButton(0);
    QPointer<BrowserActions> self(this);
    warning->setCallback([self](int index, const QString&) {
        if (!self || index != 1)
            return;
        StoreAlerts::succeeded(
            FileManager::deleteAllObjectsFromCollection(self->d->host.selectionList()));
        self->d->host.clearSelection();
        // The shown folder may have been deleted, or one above it.
        self->d->host.openFolder(nearestExistingFolder(self->d->host.currentPath()));
    });
    warning->show();
}

void BrowserActions::addToPlaylist()
{
    const QString existing = QStringLiteral("Add to existing playlist");
    auto *sheet = new ActionSheet(kSelectAnOption, kCancel, existing,
                                  {QStringLiteral("Create new playlist")});
    QPointer<BrowserActions> self(this);
    sheet->setCallback([self](int index) {
        if (!self)
            return;
        if (index == 0)
            PlaylistChooser::showForItems(self->d->host.selectedObjects());
        else if (index == 1)
            self->promptForName(QStringLiteral("New Playlist"));
    });
    sheet->show();
}

void BrowserActions::newFolder()
{
    promptForName(QStringLiteral("Create Folder"));
}

void BrowserActions::promptForName(const QString& title)
{
    Alert *prompt = AlertViewHelper::alertViewWithTitle(title);
    QPointer<BrowserActions> self(this);
    const bool folder = title == QLatin1String("Create Folder");
    prompt->setCallback([self, folder](int index, const QString& name) {
        if (!self || index != 1)
            return;
        if (name.isEmpty()) {
            showMessage(
                QStringLiteral("Operation was not successful. Try again with different name."));
            return;
        }
        if (name.startsWith(QLatin1Char(' '))) {
            showMessage(QStringLiteral("The name can not start with an empty character"));
            return;
        }
        Host& host = self->d->host;
        if (folder) {
            StoreAlerts::succeeded(FileManager::createDirAtPath(
                FileManager::appendingPathComponent(host.currentPath(), name)));
            host.openFolder(host.currentPath());
        } else if (host.selectionList().isEmpty()) {
            Notice::showInMainWindow(
                QStringLiteral("You have to select a file in order to play it"));
        } else {
            PlaylistAnnouncer::createPlaylistWithName(
                name, MediaHelper::collectionWithMedia(host.selectedObjects()), true);
            host.clearSelection();
        }
    });
    prompt->show();
}
