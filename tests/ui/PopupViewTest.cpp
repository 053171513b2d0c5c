#include "ui/PopupView.h"

#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

// Over white: the body is black at 80 % framed by a light-grey line; the tail hangs
// below the frame with its tip 10 px left of centre, narrowing row by row; clicks
// beside the tail reach what lies below.
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
    EXPECT_EQ(popup->height(), frame.height() + PopupView::kTailDepth);

    const int bottom = frame.y() + frame.height(); // first row under the frame
    const double tipX = frame.x() + frame.width() / 2.0 - 10;
    for (int row = 1; row <= PopupView::kTailDepth + 1; ++row) {
        int first = -1, last = -2;
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, bottom + row)) < 128)
                last = x, first = first < 0 ? x : first;
        // 20 px wide at the edge, narrowing 2 px a row; the stroke takes about a
        // pixel on each side; nothing below the tip.
        const int width = row <= 8 ? 17 - 2 * row : 0;
        EXPECT_NEAR(last - first + 1, width, 1.5) << "tail row " << row;
        if (width > 0) {
            EXPECT_NEAR((first + last + 1) / 2.0, tipX, 1.0) << "tail row " << row;
        }
    }
    EXPECT_NEAR(qGray(image.pixel(frame.x() + 5, frame.y() + 5)), 51, 3);
    EXPECT_NEAR(qGray(image.pixel(frame.right(), frame.center().y())), 170, 6);
    EXPECT_EQ(qGray(image.pixel(frame.right() + 2, frame.center().y())), 255);
    popup->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.5f)); // under the body's black
    EXPECT_NEAR(qGray(host.grab().toImage().pixel(frame.x() + 5, frame.y() + 5)), 26, 3);

    EXPECT_EQ(host.childAt(int(tipX), bottom + 3), popup) << "the tail itself";
    EXPECT_EQ(host.childAt(frame.x() + 5, bottom + 5), nullptr);
    EXPECT_EQ(host.childAt(frame.right() - 5, bottom + 5), nullptr);
}
