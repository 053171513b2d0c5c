#include "ui/GradientButton.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

// Over opaque black and without a title, each pixel's grey level is the layers alone:
// the shine (white 0.4 fading down to a glass edge at half height, then grey 0.75 and
// 0.4 at 0.2), under it while pressed a dark highlight (grey 0.25 at 0.75), and an
// optional dark-grey border.
TEST(GradientButton, ShineHighlightAndBorderAreEachDrawnOnceInTheirOrder)
{
    QWidget host;
    host.resize(100, 60);
    auto *button = new GradientButton(&host);
    button->setGeometry(0, 0, 78, 34);
    button->setBackgroundColor(Qt::black);
    host.show();
    const auto shot = [button] {
        return button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto grey = [](const QImage& image, int y) { return qGray(image.pixel(39, y)); };
    const QImage released = shot();
    const int h = released.height();
    EXPECT_NEAR(grey(released, 0), 0.4 * 255, 3) << "a second shine would give about 163";
    EXPECT_GT(grey(released, 2), grey(released, h / 2 - 2)) << "the top half fades";
    EXPECT_GT(grey(released, h / 2 - 1), 40);
    EXPECT_NEAR(grey(released, h / 2 + 1), 0.75 * 0.2 * 255, 3) << "the glass edge";
    EXPECT_NEAR(grey(released, h - 4), 0.4 * 0.2 * 255, 3);

    QSignalSpy clicked(button, &QAbstractButton::clicked);
    button->setFocus();
    QTest::keyPress(button, Qt::Key_Space);
    const QImage pressed = shot();
    const double highlight = 0.25 * 0.75 * 255;
    EXPECT_NEAR(grey(pressed, 0), highlight * 0.6 + 0.4 * 255, 3) << "highlight under the shine";
    EXPECT_NEAR(grey(pressed, h - 1), highlight * 0.8 + 0.4 * 0.2 * 255, 3);
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_EQ(shot(), released);
    EXPECT_EQ(clicked.count(), 1);

    button->initBorder();
    button->initBorder();
    const QImage bordered = shot();
    const int w = bordered.width();
    for (const QPoint p : {QPoint(0, h * 3 / 4), QPoint(w - 1, h * 3 / 4), QPoint(w / 2, h - 1)})
        EXPECT_NEAR(qGray(bordered.pixel(p)), 85, 3) << p.x() << "," << p.y();
    EXPECT_EQ(bordered.copy(1, 1, w - 2, h - 2), released.copy(1, 1, w - 2, h - 2));
}
