#include "ui/PopupView.h"

#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

// Over white: the body is dark, framed by a light-grey line; the tail hangs below the
// frame with its tip 10 px left of centre, narrowing to the tip; clicks beside the
// tail reach what lies below.
TEST(PopupView, TailHangsBelowTheFrameLeftOfCentreAndClicksBesideItPassThrough)
{
    const QRect frame(30, 20, 151, 40);
    QWidget host;
    host.resize(frame.right() + 40, frame.bottom() + 40);
    host.setAutoFillBackground(true);
    QPalette pal = host.palette();
    pal.setColor(QPalette::Window, Qt::white);
    host.setPalette(pal);
    auto *popup = new PopupView(frame, &host);
    host.show();
    const QImage image = host.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto dark = [&image](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    const int bottom = frame.y() + frame.height(); // first row under the frame
    const int tipX = frame.x() + frame.width() / 2 - 10;
    EXPECT_TRUE(dark(tipX, bottom + 2) && dark(tipX - 5, bottom + 2) && dark(tipX + 5, bottom + 2));
    EXPECT_FALSE(dark(tipX - 5, bottom + 6) || dark(tipX + 5, bottom + 6)) << "narrows";
    EXPECT_FALSE(dark(tipX, bottom + PopupView::kTailDepth + 2)) << "nothing below the tip";
    EXPECT_FALSE(dark(frame.center().x() + 20, bottom + 2)) << "the tail is left of centre";
    EXPECT_NEAR(qGray(image.pixel(frame.x() + 5, frame.y() + 5)), 51, 3);
    EXPECT_NEAR(qGray(image.pixel(frame.right(), frame.center().y())), 170, 6);

    EXPECT_EQ(host.childAt(tipX, bottom + 3), popup) << "the tail itself";
    EXPECT_EQ(host.childAt(frame.x() + 5, bottom + 5), nullptr);
    EXPECT_EQ(host.childAt(frame.right() - 5, bottom + 5), nullptr);
}
