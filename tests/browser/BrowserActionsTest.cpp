// The browser's file operations driven as a user drives them, through a stand-in
// browser over a temporary folder: sheets and prompts are answered by their titles,
// and what is checked is what is on disk, the messages and what the browser was told.
#include "browser/BrowserActions.h"
#include "browser/PasteJob.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/PlaylistHelper.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

// The test's own folder (the home folder also holds the program's own folders).
QString root()
{
    return TestEnvironment::home() + QStringLiteral("/t");
}

QString at(const QString& relative)
{
    return root() + QLatin1Char('/') + relative;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& relative)
{
    QStringList names =
        QDir(at(relative))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System | QDir::Hidden);
    names.sort();
    return names;
}

// Names that shells, quoting and encodings get wrong.
const QStringList kNames{QStringLiteral("two words.mp3"), QStringLiteral("it's \"q\".mp3"),
                         QStringLiteral("Ünï 日本語 слово.mp3"), QStringLiteral("-dash.mp3"),
                         QStringLiteral("new\nline.mp3")};

// The browser as BrowserActions sees it.
struct FakeBrowser {
    bool made = QDir().mkpath(root());
    QString current = root();
    QStringList selection;
    bool discarded = false;
    QStringList opened;
    QWidget window;
    BrowserActions actions{{[this] { return current; }, [this] { return selection; },
                            [this] { return selection; }, [this] { selection.clear(); },
                            [this] {
                                selection.clear();
                                discarded = true;
                            },
                            [this](const QString& path) {
                                current = path;
                                opened.append(path);
                            }},
                           &window};

    QStringList actionTitles()
    {
        actions.showOptions();
        TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); });
        const QStringList titles = ActionSheet::openSheets().value(0)->buttonTitles();
        ActionSheet::dismissAllForTesting();
        return titles;
    }
    // Opens the sheet made by show and presses the button titled title.
    void press(const std::function<void()>& show, const QString& title)
    {
        show();
        ASSERT_TRUE(
            TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); }));
        ActionSheet *sheet = ActionSheet::openSheets().value(0);
        ASSERT_TRUE(sheet->buttonTitles().contains(title)) << title.toStdString();
        sheet->pressButton(int(sheet->buttonTitles().indexOf(title)));
    }
    void act(const QString& title)
    {
        press([this] { actions.showOptions(); }, title);
        if (title == QLatin1String("Paste selected")) {
            ASSERT_TRUE(TestEnvironment::waitUntil([this] { return !actions.isPasting(); }));
        }
    }
    // Answers the open alert (titled title) with button, after typing text.
    void answer(const QString& title, int button, const QString& text = {})
    {
        Alert *alert = nullptr;
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            for (Alert *open : Alert::openAlerts())
                alert = open->title() == title ? open : alert;
            return alert != nullptr;
        }));
        alert->setText(text);
        alert->pressButton(button);
    }
};

QStringList inFolder(const QString& relative, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names)
        paths.append(at(relative + QLatin1Char('/') + name));
    return paths;
}

// Copy, paste, paste again; copy then cut; cut, paste, paste again; an empty copy.
TEST(BrowserActionsTest, CopyCutAndPasteNeverOverwriteAndKeepTheClipboard)
{
    FakeBrowser b;
    QStringList sorted = kNames;
    sorted.sort();
    for (const QString& name : kNames)
        TestEnvironment::writeFile(at(QStringLiteral("A/") + name), name.toUtf8());
    QDir().mkpath(at(QStringLiteral("B")));
    EXPECT_FALSE(b.actionTitles().contains(QStringLiteral("Paste selected")));

    b.current = at(QStringLiteral("A"));
    b.selection = inFolder(QStringLiteral("A"), kNames);
    b.act(QStringLiteral("Copy selected"));
    b.current = root();
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(b.opened.value(b.opened.size() - 1), root());
    for (const QString& name : kNames)
        EXPECT_EQ(contents(at(name)), name.toUtf8()) << name.toStdString();
    TestEnvironment::writeFile(at(kNames[0]), "changed here");
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(contents(at(kNames[0])), "changed here") << "a second paste overwrites nothing";
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());

    // Copy, then cut: only the cut remains, and the paste moves.
    b.selection = inFolder(QString(), kNames);
    b.act(QStringLiteral("Copy selected"));
    b.act(QStringLiteral("Cut selected"));
    b.selection.clear();
    b.current = at(QStringLiteral("B"));
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(entries(QStringLiteral("B")), sorted);
    EXPECT_EQ(entries(QString()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    b.current = at(QStringLiteral("A"));
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(entries(QStringLiteral("A")), sorted) << "a second paste finds no sources";
    EXPECT_EQ(entries(QStringLiteral("B")), sorted);

    // An empty copy offers "Paste selected", which pastes nothing.
    b.act(QStringLiteral("Copy selected"));
    b.current = root();
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(entries(QString()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());

    // Refused by the system (here: the "folder" is a file) is not skipped in silence.
    b.selection = {at(QStringLiteral("B/") + kNames[0])};
    b.act(QStringLiteral("Copy selected"));
    b.current = at(QStringLiteral("B/") + kNames[1]);
    b.act(QStringLiteral("Paste selected"));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("Some of the selected items weren't pasted")});
}

// "NO" keeps everything; "YES" deletes the odd names, a link but never the folder it
// points to, and leaves the browser on the nearest folder that still exists.
TEST(BrowserActionsTest, DeleteAsksFirstNeverFollowsLinksAndLeavesAnExistingFolder)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    TestEnvironment::writeFile(outside.filePath(QStringLiteral("keep.mp3")), "keep");
    for (const QString& name : kNames)
        TestEnvironment::writeFile(at(QStringLiteral("D/") + name), "x");
    QDir().mkpath(at(QStringLiteral("F/sub")));
    ASSERT_EQ(::symlink(QFile::encodeName(outside.path()).constData(),
                        QFile::encodeName(at(QStringLiteral("F/sub/out"))).constData()),
              0);
    FakeBrowser b;
    b.current = at(QStringLiteral("F/sub"));
    b.selection = inFolder(QStringLiteral("D"), kNames) << at(QStringLiteral("F"));

    b.act(QStringLiteral("Delete selected"));
    b.answer(QStringLiteral("Warning !!!"), 0);
    EXPECT_EQ(entries(QStringLiteral("D")).size(), kNames.size());
    EXPECT_EQ(b.selection.size(), kNames.size() + 1);

    b.act(QStringLiteral("Delete selected"));
    b.answer(QStringLiteral("Warning !!!"), 1);
    EXPECT_EQ(entries(QString()), QStringList{QStringLiteral("D")});
    EXPECT_TRUE(entries(QStringLiteral("D")).isEmpty());
    EXPECT_EQ(contents(outside.filePath(QStringLiteral("keep.mp3"))), "keep");
    EXPECT_TRUE(b.discarded);
    EXPECT_EQ(b.opened, QStringList{root()});
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
}

// The name prompts: their refusals, a folder whose name ends with a space, and a
// playlist only when something is selected.
TEST(BrowserActionsTest, NamePromptsCheckTheNameThenCreate)
{
    FakeBrowser b;
    const QString folder = QStringLiteral("Create Folder");
    for (const QString& refused : {QString(), QStringLiteral(" lead")}) {
        b.actions.newFolder();
        b.answer(folder, 1, refused);
    }
    b.actions.newFolder();
    b.answer(folder, 0, QStringLiteral("cancelled"));
    b.actions.newFolder();
    b.answer(folder, 1, QStringLiteral("trail "));
    EXPECT_EQ(
        TestEnvironment::takeAlertMessages(),
        (QStringList{QStringLiteral("Operation was not successful. Try again with different name."),
                     QStringLiteral("The name can not start with an empty character")}));
    EXPECT_EQ(entries(QString()), QStringList{QStringLiteral("trail ")});
    EXPECT_EQ(b.opened, QStringList{root()});

    const QString create = QStringLiteral("Create new playlist");
    b.press([&b] { b.actions.addToPlaylist(); }, create);
    b.answer(QStringLiteral("New Playlist"), 1, QStringLiteral("Mix"));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("You have to select a file in order to play it")});
    EXPECT_FALSE(PlaylistHelper::playlistFolderExist());

    b.selection = {TestEnvironment::writeFile(at(QStringLiteral("trail /") + kNames[4]), "x")};
    b.press([&b] { b.actions.addToPlaylist(); }, create);
    b.answer(QStringLiteral("New Playlist"), 1, QStringLiteral("Mix"));
    TestEnvironment::takeAlertMessages();
    const MediaList items =
        PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix")).value_or(MediaList());
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->filePath, b.selection.value(0, at(QStringLiteral("trail /") + kNames[4])));
    EXPECT_TRUE(b.selection.isEmpty());
}

// A paste that lasts shows its progress; Cancel stops it, removes the half-written
// copy, and the listing is refreshed.
TEST(BrowserActionsTest, ProgressDialogCancelsALongPaste)
{
    const QString big = TestEnvironment::writeFile(at(QStringLiteral("A/big.wav")),
                                                   QByteArray(8 * 1024 * 1024, 'b'));
    QDir().mkpath(at(QStringLiteral("B")));
    FakeBrowser b;
    b.selection = {big};
    b.act(QStringLiteral("Copy selected"));
    b.current = at(QStringLiteral("B"));
    // Holds the worker after its first chunk until the user has cancelled; the
    // window meanwhile stays free to show the dialog and take the click.
    std::atomic<bool> released{false};
    PasteJob::setChunkHookForTesting([&released] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!released.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    b.press([&b] { b.actions.showOptions(); }, QStringLiteral("Paste selected"));
    QProgressDialog *dialog = nullptr;
    EXPECT_TRUE(TestEnvironment::waitUntil([&] {
        dialog = b.window.findChild<QProgressDialog *>();
        return dialog && dialog->isVisible() && dialog->value() > 0;
    }));
    EXPECT_TRUE(b.actions.isPasting());
    if (QPushButton *cancel = dialog ? dialog->findChild<QPushButton *>() : nullptr) {
        EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
        cancel->click();
    }
    released.store(true);
    EXPECT_TRUE(TestEnvironment::waitUntil([&b] { return !b.actions.isPasting(); }));
    PasteJob::setChunkHookForTesting(nullptr);
    EXPECT_TRUE(entries(QStringLiteral("B")).isEmpty());
    EXPECT_EQ(contents(big).size(), 8 * 1024 * 1024);
    EXPECT_EQ(b.opened, QStringList{at(QStringLiteral("B"))});
}

} // namespace
