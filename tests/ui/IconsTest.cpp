#include "ui/Icons.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// Opaque pixels, or only the orange ones.
int countPixels(const QPixmap& pixmap, bool orangeOnly = false)
{
    int count = 0;
    const QImage argb = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb px = argb.pixel(x, y);
            count += qAlpha(px) > 200 && (!orangeOnly || (qRed(px) > 220 && qGreen(px) > 90 &&
                                                          qGreen(px) < 160 && qBlue(px) < 60));
        }
    return count;
}

} // namespace

// Every image the screens name draws visible pixels, with or without extension; the
// "on" states are orange; slider tracks stretch in the middle only (no seams).
TEST(Icons, NamedImagesAreDrawnOnStatesAreOrangeAndTracksStretchCleanly)
{
    const QStringList names = Icons::names();
    for (const char *needed : {"play", "pause", "forward", "backward", "repeat_off", "repeat_on_1",
                               "repeat_on", "shuffle_on", "shuffle_off", "fullSlider",
                               "sliderCover", "folderIcon", "fileIcon", "back"})
        EXPECT_TRUE(names.contains(QLatin1String(needed))) << needed;
    for (const QString& name : names) {
        const QSize natural = Icons::naturalSize(name);
        const QPixmap pixmap = Icons::pixmap(name + QStringLiteral(".png"), natural, 1.0);
        EXPECT_EQ(pixmap.size(), natural) << name.toStdString();
        EXPECT_GT(countPixels(pixmap), natural.width() * natural.height() / 20)
            << name.toStdString();
    }

    const QSize size(44, 44);
    for (const char *on : {"repeat_on", "repeat_on_1", "shuffle_on"})
        EXPECT_GT(countPixels(Icons::pixmap(QLatin1String(on), size, 1), true), 50) << on;
    for (const char *off : {"repeat_off", "shuffle_off", "play"})
        EXPECT_EQ(countPixels(Icons::pixmap(QLatin1String(off), size, 1), true), 0) << off;
    EXPECT_NE(Icons::pixmap(QStringLiteral("repeat_on_1"), size, 1).toImage(),
              Icons::pixmap(QStringLiteral("repeat_on"), size, 1).toImage())
        << "repeat one has its badge";
    for (const char *track : {"fullSlider", "sliderCover"}) {
        const QImage image = Icons::pixmap(QLatin1String(track), QSize(20, 9), 1).toImage();
        for (int y = 0; y < 9; ++y)
            EXPECT_EQ(image.pixel(9, y), image.pixel(10, y)) << track << " row " << y;
    }
}
