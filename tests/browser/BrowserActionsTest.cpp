// The browser's file operations driven as a user drives them, through a stand-in
// browser over a temporary folder: sheets and prompts are answered by their titles,
// and what is checked is what is on disk, the messages and what the browser was told.
#include "browser/BrowserActions.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/PlaylistHelper.h"
#include "services/PasteJob.h"
#include "support/FileOpsTestSupport.h"

#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace FileOps;

// Names that shells, quoting and encodings get wrong, in QDir::Name order.
const QStringList kNames{s("-dash.mp3"), s("it's \"q\".mp3"), s("new\nline.mp3"),
                         s("two words.mp3"), s("Ünï 日本語 слово.mp3")};

QStringList inFolder(const QString& folder)
{
    QStringList paths;
    for (const QString& name : kNames)
        paths.append(at(folder + name));
    return paths;
}

// The browser as BrowserActions sees it.
struct FakeBrowser {
    bool made = QDir().mkpath(at());
    QString current = at();
    QStringList selection;
    QStringList opened;
    QStringList titles; // of the last sheet
    QWidget window;
    BrowserActions actions{{[this] { return current; }, [this] { return selection; },
                            [this] { return selection; }, [this] { selection.clear(); },
                            [this](const QString& path) { opened.append(current = path); }},
                           &window};

    // Presses title on the sheet that show opens ("Actions" by default), and waits
    // for a paste to end.
    void act(const char *title, const std::function<void()>& show = {})
    {
        show ? show() : actions.showOptions();
        ASSERT_TRUE(
            TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); }));
        titles = ActionSheet::openSheets().value(0)->buttonTitles();
        ASSERT_TRUE(titles.contains(s(title))) << title;
        ActionSheet::openSheets().value(0)->pressButton(int(titles.indexOf(s(title))));
        EXPECT_TRUE(TestEnvironment::waitUntil([this] { return !actions.isPasting(); }));
    }
    // Types text into the open alert titled title and presses button.
    void answer(const char *title, int button, const QString& text = {})
    {
        Alert *alert = nullptr;
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            for (Alert *open : Alert::openAlerts())
                alert = open->title() == s(title) ? open : alert;
            return alert != nullptr;
        }));
        alert->setText(text);
        alert->pressButton(button);
    }
};

// Copy, paste, paste again; copy then cut; cut, paste, paste again; an empty copy;
// a paste the system refuses.
TEST(BrowserActionsTest, CopyCutAndPasteNeverOverwriteAndKeepTheClipboard)
{
    FakeBrowser b;
    for (const QString& path : inFolder(s("A/")))
        TestEnvironment::writeFile(path, path.toUtf8());
    QDir().mkpath(at("B"));
    b.act("Cancel");
    EXPECT_EQ(b.titles, (QStringList{s("Cut selected"), s("Copy selected"), s("Delete selected"),
                                     s("Cancel")}));

    b.selection = inFolder(s("A/"));
    b.act("Copy selected");
    b.act("Paste selected");
    EXPECT_EQ(b.opened, QStringList{at()});
    EXPECT_EQ(contents(at(kNames[4])), at(s("A/") + kNames[4]).toUtf8());
    TestEnvironment::writeFile(at(kNames[0]), "changed here");
    b.act("Paste selected");
    EXPECT_EQ(contents(at(kNames[0])), "changed here") << "a second paste overwrites nothing";

    // Copy, then cut: only the cut remains, and the paste moves; a second finds nothing.
    b.selection = inFolder({});
    b.act("Copy selected");
    b.act("Cut selected");
    b.current = at("B");
    b.act("Paste selected");
    EXPECT_EQ(ls(s("B")), kNames);
    EXPECT_EQ(ls(), (QStringList{s("A"), s("B")}));
    b.current = at("A");
    b.act("Paste selected");
    EXPECT_EQ(ls(s("A")), kNames);

    // An empty copy offers "Paste selected", which pastes nothing.
    b.selection.clear();
    b.act("Copy selected");
    b.current = at();
    b.act("Paste selected");
    EXPECT_EQ(ls(), (QStringList{s("A"), s("B")}));
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());

    // Refused by the system (the "folder" is a file) is not skipped in silence.
    b.selection = {at(s("B/") + kNames[0])};
    b.act("Copy selected");
    b.current = at(s("B/") + kNames[1]);
    b.act("Paste selected");
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{s("Some of the selected items weren't pasted")});
}

// "NO" keeps everything; "YES" deletes the odd names, a link but never the folder it
// points to, and leaves the browser on the nearest folder that still exists.
TEST(BrowserActionsTest, DeleteAsksFirstNeverFollowsLinksAndLeavesAnExistingFolder)
{
    QTemporaryDir outside;
    TestEnvironment::writeFile(outside.filePath(s("keep.mp3")), "keep");
    for (const QString& path : inFolder(s("D/")))
        TestEnvironment::writeFile(path, "x");
    write(s("F/sub/x"));
    ASSERT_TRUE(QFile::link(outside.path(), at("F/sub/out")));
    FakeBrowser b;
    b.current = at("F/sub");
    b.selection = inFolder(s("D/")) << at("F");
    b.act("Delete selected");
    b.answer("Warning !!!", 0);
    EXPECT_EQ(ls(s("D")), kNames);
    EXPECT_EQ(b.selection.size(), kNames.size() + 1);

    b.act("Delete selected");
    b.answer("Warning !!!", 1);
    EXPECT_EQ(ls(), QStringList{s("D")});
    EXPECT_TRUE(ls(s("D")).isEmpty());
    EXPECT_EQ(contents(outside.filePath(s("keep.mp3"))), "keep");
    EXPECT_TRUE(b.selection.isEmpty());
    EXPECT_EQ(b.opened, QStringList{at()});
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
}

// The name prompts: their refusals, a folder whose name ends with a space, and a
// playlist only when something is selected.
TEST(BrowserActionsTest, NamePromptsCheckTheNameThenCreate)
{
    FakeBrowser b;
    b.window.show(); // where the notices show
    for (auto [name, button] : {std::pair{"", 1}, {" lead", 1}, {"cancelled", 0}, {"trail ", 1}}) {
        b.actions.newFolder();
        b.answer("Create Folder", button, s(name));
    }
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              (QStringList{s("Operation was not successful. Try again with different name."),
                           s("The name can not start with an empty character")}));
    EXPECT_EQ(ls(), QStringList{s("trail ")});
    EXPECT_EQ(b.opened, QStringList{at()});

    const auto addToPlaylist = [&b] { b.actions.addToPlaylist(); };
    b.act("Create new playlist", addToPlaylist);
    b.answer("New Playlist", 1, s("Mix"));
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{s("You have to select a file in order to play it")});
    EXPECT_FALSE(PlaylistHelper::playlistFolderExist());

    const QString song = TestEnvironment::writeFile(at(s("trail /") + kNames[2]), "x");
    b.selection = {song};
    b.act("Create new playlist", addToPlaylist);
    b.answer("New Playlist", 1, s("Mix"));
    const MediaList items = PlaylistHelper::contentsForPlaylist(s("Mix")).valueOr(MediaList());
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->filePath, song);
    EXPECT_TRUE(b.selection.isEmpty());
}

// A paste that lasts shows its progress while the worker copies; Escape cancels it,
// removes the half-written copy, and the listing is refreshed.
TEST(BrowserActionsTest, ProgressDialogCancelsALongPaste)
{
    FakeBrowser b;
    const QString big = write(s("A/big.wav"), QByteArray(8 << 20, 'b'));
    b.selection = {big};
    b.act("Copy selected");
    b.current = at();
    // Holds the worker after its first chunk until the user has cancelled (at most 10 s,
    // however busy the machine).
    std::atomic<bool> released{false};
    PasteJob::setChunkHookForTesting([&released] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!released.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    b.actions.showOptions();
    ActionSheet::openSheets().value(0)->pressButton(2);
    QProgressDialog *dialog = nullptr;
    EXPECT_TRUE(TestEnvironment::waitUntil([&] {
        dialog = b.window.findChild<QProgressDialog *>();
        return dialog && dialog->isActiveWindow() && dialog->value() > 0;
    }));
    if (dialog)
        QTest::keyClick(dialog, Qt::Key_Escape);
    released.store(true);
    EXPECT_TRUE(TestEnvironment::waitUntil([&b] { return !b.actions.isPasting(); }));
    PasteJob::setChunkHookForTesting(nullptr);
    EXPECT_EQ(ls(), QStringList{s("A")});
    EXPECT_EQ(contents(big).size(), 8 << 20);
    EXPECT_EQ(b.opened, QStringList{at()});
}

} // namespace
