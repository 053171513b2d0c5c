// Draws the shared components together, as the player shows them, and saves the
// pictures in $HOME (and, when QUAVER_UI_DEMO_DIR names a folder, there as well)
// so that a person can look at them: ui-components.png and ui-navigation.png.

#include "support/TestEnvironment.h"
#include "ui/GradientButton.h"
#include "ui/Icons.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/PlaceholderScreen.h"
#include "ui/PopupView.h"
#include "ui/ScreenStack.h"
#include "ui/SlideTransition.h"

#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

PopupView *menu(QWidget *parent, const QRect& frame, const QStringList& titles)
{
    auto *popup = new PopupView(frame, parent);
    popup->setTag(100);
    popup->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.5f));
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = GradientButton::menuButton(titles[i], popup);
        button->setGeometry(1, 1 + 34 * i, 78, 34);
    }
    return popup;
}

void iconRow(QWidget *parent, int y, const QStringList& names, int size)
{
    int x = 8;
    for (const QString& name : names) {
        auto *label = new QLabel(parent);
        label->setPixmap(Icons::named(name).pixmap(QSize(size, size)));
        label->setGeometry(x, y, size, size);
        x += size + 6;
    }
}

// Twice the size, drawn at that resolution, so details are easy to see.
QImage picture(QWidget& widget)
{
    QPixmap pixmap(widget.size() * 2);
    pixmap.setDevicePixelRatio(2);
    widget.render(&pixmap);
    return pixmap.toImage();
}

// Saves in the test's home and in QUAVER_UI_DEMO_DIR; returns the home copy's path.
QString save(const QImage& image, const QString& name)
{
    const QString path = TestEnvironment::home() + QLatin1Char('/') + name;
    EXPECT_TRUE(image.save(path));
    const QString dir = QString::fromLocal8Bit(qgetenv("QUAVER_UI_DEMO_DIR"));
    if (!dir.isEmpty()) {
        EXPECT_TRUE(image.save(dir + QLatin1Char('/') + name));
    }
    return path;
}

} // namespace

TEST(UiComponentsDemo, SavesAPictureOfMenusIconsAndSlider)
{
    QWidget scene;
    scene.resize(320, 300);
    scene.setAutoFillBackground(true);
    QPalette pal = scene.palette();
    pal.setColor(QPalette::Window, Qt::black);
    scene.setPalette(pal);

    menu(&scene, QRect(2, 30, 80, 70), {QStringLiteral("Device"), QStringLiteral("iTunes")});
    PopupView *pressedMenu =
        menu(&scene, QRect(100, 10, 80, 104),
             {QStringLiteral("Create"), QStringLiteral("Open"), QStringLiteral("Clear")});
    // One button held down, to show the highlight.
    pressedMenu->findChildren<GradientButton *>().at(1)->setDown(true);
    auto *bordered = new GradientButton(QStringLiteral("Bordered"), &scene);
    bordered->setGeometry(200, 30, 100, 34);
    bordered->setBackgroundColor(QColor(40, 40, 40));
    bordered->initBorder();

    iconRow(&scene, 140,
            {QStringLiteral("backward"), QStringLiteral("play"), QStringLiteral("pause"),
             QStringLiteral("forward"), QStringLiteral("video"), QStringLiteral("playlistHandle")},
            44);
    iconRow(&scene, 190,
            {QStringLiteral("repeat_off"), QStringLiteral("repeat_on_1"),
             QStringLiteral("repeat_on"), QStringLiteral("shuffle_off"),
             QStringLiteral("shuffle_on"), QStringLiteral("back")},
            44);
    iconRow(&scene, 240,
            {QStringLiteral("folderIcon"), QStringLiteral("fileIcon"), QStringLiteral("selRow"),
             QStringLiteral("unSelRow"), QStringLiteral("songs"), QStringLiteral("playlists"),
             QStringLiteral("settings"), QStringLiteral("mail")},
            30);

    // A time slider at 40 %: filled track, empty track, thumb.
    auto *slider = new QLabel(&scene);
    slider->setGeometry(8, 280, 304, 22);
    QPixmap track(304, 22);
    track.fill(Qt::transparent);
    {
        QPainter p(&track);
        const int split = 120;
        p.drawPixmap(QRect(0, 6, split, 9),
                     Icons::pixmap(QStringLiteral("fullSlider"), {split, 9}));
        p.drawPixmap(QRect(split, 6, 304 - split, 9),
                     Icons::pixmap(QStringLiteral("sliderCover"), {304 - split, 9}));
        p.drawPixmap(split - 11, 0, Icons::pixmap(QStringLiteral("hand"), {22, 22}));
    }
    slider->setPixmap(track);
    scene.resize(320, 310);
    scene.show();

    const QString path = save(picture(scene), QStringLiteral("ui-components.png"));
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(640, 620));
    // The first menu's tail hangs below its frame (rows 100..109 of the scene).
    EXPECT_LT(qGray(saved.pixel(2 * (2 + 30), 2 * 104)), 80);
}

TEST(UiComponentsDemo, SavesAPictureOfAPushedScreenUnderTheBlackBar)
{
    SlideTransition::setAnimationsEnabled(false);
    ScreenStack stack;
    stack.resize(320, 200);
    stack.setRootScreen(new QWidget);
    stack.show();
    auto *settings = new PlaceholderScreen(QStringLiteral("Settings"));
    NavigationController *nav = stack.present(settings);
    auto *bookmarks =
        new PlaceholderScreen(QStringLiteral("Bookmarks"), QStringLiteral("No bookmarks"));
    NavigationItem::of(bookmarks)->setRightButton(
        NavigationBar::makeButton(QStringLiteral("Edit")));
    nav->push(bookmarks);
    SlideTransition::setAnimationsEnabled(true);

    const QString path = save(picture(stack), QStringLiteral("ui-navigation.png"));
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    // The bar is black at its bottom edge and the screen below is not.
    EXPECT_LT(qGray(saved.pixel(300, 2 * NavigationBar::kHeight - 2)), 10);
    EXPECT_GT(qGray(saved.pixel(300, 2 * NavigationBar::kHeight + 10)), 20);
}
