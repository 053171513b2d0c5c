#include "ui/PopupView.h"

#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

// A white host with one popup on it; shot() is the host's picture.
struct Scene {
    QWidget host;
    PopupView *popup;
    explicit Scene(const QRect& frame)
    {
        host.resize(frame.right() + 40, frame.bottom() + 40);
        host.setAutoFillBackground(true);
        QPalette pal = host.palette();
        pal.setColor(QPalette::Window, Qt::white);
        host.setPalette(pal);
        popup = new PopupView(frame, &host);
        host.show();
    }
    QImage shot() { return host.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

bool dark(QRgb px)
{
    return qGray(px) < 128;
}

// The dark pixels of one row of the picture, as [first, last]; (-1, -1) if none.
std::pair<int, int> darkSpan(const QImage& image, int y, int x0, int x1)
{
    int first = -1;
    int last = -1;
    for (int x = x0; x <= x1; ++x) {
        if (dark(image.pixel(x, y))) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

} // namespace

class PopupViewSizes : public testing::TestWithParam<QRect> {};

TEST_P(PopupViewSizes, TailHangsBelowTheFrameWithItsTipLeftOfCentre)
{
    const QRect frame = GetParam();
    Scene scene(frame);
    EXPECT_EQ(scene.popup->height(), frame.height() + PopupView::kTailDepth);

    const QImage image = scene.shot();
    const int bottom = frame.y() + frame.height(); // first row under the frame
    const double tipX = frame.x() + frame.width() / 2.0 - 10;

    // Every row of the tail is dark around the tip and narrows downwards.
    int previousWidth = 1000;
    for (int row = 1; row <= 8; ++row) {
        const auto [first, last] = darkSpan(image, bottom + row, frame.x(), frame.right());
        ASSERT_GE(first, 0) << "tail row " << row;
        const double centre = (first + last + 1) / 2.0;
        EXPECT_NEAR(centre, tipX, 1.0) << "tail row " << row;
        // 20 px wide at the edge, narrowing 2 px a row; the light stroke takes about
        // a pixel on each side.
        EXPECT_NEAR(last - first + 1, 17 - 2 * row, 1.5) << "tail row " << row;
        EXPECT_LT(last - first + 1, previousWidth);
        previousWidth = last - first + 1;
    }
    // Nothing dark below the tip, nor beside the tail.
    EXPECT_EQ(darkSpan(image, bottom + PopupView::kTailDepth + 1, 0, image.width() - 1).first, -1);
    EXPECT_FALSE(dark(image.pixel(frame.x() + 3, bottom + 4)));
    EXPECT_FALSE(dark(image.pixel(frame.right() - 3, bottom + 4)));

    // Body: black at 80 % over white, framed by a light-grey line.
    EXPECT_NEAR(qGray(image.pixel(frame.x() + 5, frame.y() + 5)), 51, 3);
    EXPECT_NEAR(qGray(image.pixel(frame.center().x() + 15, frame.y())), 170, 6);
    EXPECT_NEAR(qGray(image.pixel(frame.right(), frame.center().y())), 170, 6);
    // Outside the frame the host shows.
    EXPECT_EQ(qGray(image.pixel(frame.right() + 2, frame.center().y())), 255);
}

INSTANTIATE_TEST_SUITE_P(Frames, PopupViewSizes,
                         testing::Values(QRect(2, 342, 80, 70), QRect(30, 20, 151, 40)));

TEST(PopupView, BackgroundColourCoversTheFrameAndClicksBesideTheTailPassThrough)
{
    Scene scene(QRect(10, 10, 80, 70));
    scene.popup->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.5f));
    const QImage image = scene.shot();
    // White under black 0.5 and black 0.8 is 10 % white; the tail has only the 0.8.
    EXPECT_NEAR(qGray(image.pixel(30, 40)), 26, 3);
    EXPECT_NEAR(qGray(image.pixel(40, 83)), 51, 3);

    EXPECT_EQ(scene.host.childAt(40, 83), scene.popup) << "the tail itself";
    EXPECT_EQ(scene.host.childAt(15, 85), nullptr);
    EXPECT_EQ(scene.host.childAt(80, 85), nullptr);
}
