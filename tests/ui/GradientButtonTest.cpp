#include "ui/GradientButton.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

// Over opaque black and without a title, each pixel's grey level is the layers alone:
// the shine (white 0.4 at the top, a glass edge at half height, then grey 0.75 at
// 0.2), under it while pressed a dark highlight (grey 0.25 at 0.75), and an optional
// dark-grey border.
TEST(GradientButton, ShineHighlightAndBorderAreEachDrawnOnce)
{
    GradientButton button;
    button.resize(78, 34);
    button.setBackgroundColor(Qt::black);
    button.show();
    const auto grey = [&button](int x, int y) {
        return qGray(button.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(x, y));
    };
    EXPECT_NEAR(grey(39, 0), 0.4 * 255, 3) << "a second shine would give about 163";
    EXPECT_NEAR(grey(39, 34 / 2 + 1), 0.75 * 0.2 * 255, 3) << "the glass edge";

    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    button.setFocus();
    QTest::keyPress(&button, Qt::Key_Space);
    EXPECT_NEAR(grey(39, 0), 0.25 * 0.75 * 255 * 0.6 + 0.4 * 255, 3) << "under the shine";
    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_NEAR(grey(39, 0), 0.4 * 255, 3);
    EXPECT_EQ(clicked.count(), 1);

    button.initBorder();
    button.initBorder();
    EXPECT_NEAR(grey(0, 34 * 3 / 4), 85, 3);
    EXPECT_NEAR(grey(39, 33), 85, 3);
    EXPECT_NEAR(grey(1, 34 * 3 / 4), 0.4 * 0.2 * 255, 8) << "one border line only";
}
