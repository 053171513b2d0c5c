#include "ui/Icons.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

int opaquePixels(const QImage& image)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 200;
    }
    return count;
}

int orangePixels(const QImage& image)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb px = argb.pixel(x, y);
            count += qAlpha(px) > 200 && qRed(px) > 220 && qGreen(px) > 90 && qGreen(px) < 160 &&
                     qBlue(px) < 60;
        }
    }
    return count;
}

// The image names the screens ask for.
const QStringList kNeeded{
    QStringLiteral("play"),       QStringLiteral("pause"),          QStringLiteral("forward"),
    QStringLiteral("backward"),   QStringLiteral("repeat_off"),     QStringLiteral("repeat_on_1"),
    QStringLiteral("repeat_on"),  QStringLiteral("shuffle_on"),     QStringLiteral("shuffle_off"),
    QStringLiteral("video"),      QStringLiteral("playlistHandle"), QStringLiteral("hand"),
    QStringLiteral("fullSlider"), QStringLiteral("sliderCover"),    QStringLiteral("folderIcon"),
    QStringLiteral("fileIcon"),   QStringLiteral("selRow"),         QStringLiteral("unSelRow"),
    QStringLiteral("background"), QStringLiteral("back"),
};

} // namespace

TEST(Icons, EveryImageDrawsVisiblePixelsAtItsOwnSizeAndAsAnIcon)
{
    const QStringList names = Icons::names();
    for (const QString& name : kNeeded)
        EXPECT_TRUE(names.contains(name)) << name.toStdString();

    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QSize natural = Icons::naturalSize(name);
        ASSERT_FALSE(natural.isEmpty());
        const QPixmap pixmap = Icons::pixmap(name + QStringLiteral(".png"), natural, 1.0);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), natural);
        EXPECT_GT(opaquePixels(pixmap.toImage()), natural.width() * natural.height() / 20);

        const QIcon icon = Icons::named(name + QStringLiteral(".png"));
        ASSERT_FALSE(icon.isNull());
        const QPixmap drawn = icon.pixmap(QSize(32, 32));
        ASSERT_FALSE(drawn.isNull());
        EXPECT_GT(opaquePixels(drawn.toImage()), 0);
    }
}

TEST(Icons, NamesWithAndWithoutExtensionAreTheSameImage)
{
    EXPECT_EQ(Icons::named(QStringLiteral("play.png")).cacheKey(),
              Icons::named(QStringLiteral("play")).cacheKey());
    EXPECT_EQ(Icons::resourcePath(QStringLiteral("pause.png")),
              QStringLiteral(":/icons/pause.svg"));
    EXPECT_EQ(Icons::resourcePath(QStringLiteral(":/icons/pause.svg")),
              QStringLiteral(":/icons/pause.svg"));
    EXPECT_TRUE(Icons::named(QStringLiteral("no-such-image.png")).isNull());
    EXPECT_TRUE(Icons::pixmap(QStringLiteral("no-such-image"), QSize(10, 10)).isNull());
    EXPECT_TRUE(Icons::resourcePath(QStringLiteral("no-such-image")).isEmpty());
}

TEST(Icons, OnStatesAreOrangeAndOffStatesAreNot)
{
    const QSize size(44, 44);
    for (const char *on : {"repeat_on", "repeat_on_1", "shuffle_on"})
        EXPECT_GT(orangePixels(Icons::pixmap(QLatin1String(on), size, 1).toImage()), 50) << on;
    for (const char *off : {"repeat_off", "shuffle_off", "play", "pause"})
        EXPECT_EQ(orangePixels(Icons::pixmap(QLatin1String(off), size, 1).toImage()), 0) << off;
    // Repeat one differs from repeat all by its badge.
    EXPECT_NE(Icons::pixmap(QStringLiteral("repeat_on_1"), size, 1).toImage(),
              Icons::pixmap(QStringLiteral("repeat_on"), size, 1).toImage());
}

TEST(Icons, SliderTracksStretchInTheMiddleColumnOnly)
{
    // The track's rounded ends lie within the caps; the stretched column (x 10) is
    // the same at any length, so a long track has no seams.
    for (const char *track : {"fullSlider", "sliderCover"}) {
        const QImage image = Icons::pixmap(QLatin1String(track), QSize(20, 9), 1).toImage();
        for (int y = 0; y < 9; ++y)
            EXPECT_EQ(image.pixel(9, y), image.pixel(10, y)) << track << " row " << y;
    }
}
