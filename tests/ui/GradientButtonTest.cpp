#include "ui/GradientButton.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Grey level of a pixel (the button is drawn over opaque black, so r = g = b
// wherever no title is drawn).
int grey(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

QImage shot(GradientButton& button)
{
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A button over opaque black, without a title, so every pixel is the layers alone.
struct Fixture {
    QWidget host;
    GradientButton *button = new GradientButton(&host);
    Fixture()
    {
        host.resize(100, 60);
        button->setGeometry(0, 0, 78, 34);
        button->setBackgroundColor(Qt::black);
        host.show();
    }
};

// Expected composite of the layers over black, by row, in grey levels.
constexpr double kTop = 0.4 * 255;                      // white at alpha 0.4
constexpr double kBelowMiddle = 0.75 * 0.2 * 255;       // grey 0.75 at alpha 0.2
constexpr double kBottom = 0.4 * 0.2 * 255;             // grey 0.4 at alpha 0.2
constexpr double kHighlight = 0.25 * 0.75 * 255;        // grey 0.25 at alpha 0.75
constexpr double kTopPressed = kHighlight * 0.6 + kTop; // shine over highlight
constexpr double kBottomPressed = kHighlight * 0.8 + kBottom;

} // namespace

TEST(GradientButton, ReleasedButtonShowsTheShineOnceOverItsBackground)
{
    Fixture f;
    const QImage image = shot(*f.button);
    const int h = image.height();
    // A second pass of the shine would lift the top row to about 163.
    EXPECT_NEAR(grey(image, 39, 0), kTop, 3);
    // The glass edge: a jump at half height, then the dim second half.
    EXPECT_GT(grey(image, 39, h / 2 - 1), 40);
    EXPECT_NEAR(grey(image, 39, h / 2 + 1), kBelowMiddle, 3);
    EXPECT_NEAR(grey(image, 39, h - 1), kBottom, 3);
    EXPECT_NEAR(grey(image, 39, h - 4), kBottom, 3) << "the last fifth is flat";
    // Top half fades downwards.
    EXPECT_GT(grey(image, 39, 2), grey(image, 39, h / 2 - 2));
    EXPECT_FALSE(f.button->isHighlightShown());
}

TEST(GradientButton, PressingByMouseOrKeyShowsTheDarkHighlightUnderTheShine)
{
    for (const bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "key" : "mouse");
        Fixture f;
        f.button->setFocus();
        QSignalSpy clicked(f.button, &QAbstractButton::clicked);
        const QImage before = shot(*f.button);
        if (byKey)
            QTest::keyPress(f.button, Qt::Key_Space);
        else
            QTest::mousePress(f.button, Qt::LeftButton, {}, QPoint(30, 15));
        ASSERT_TRUE(f.button->isHighlightShown());
        const QImage pressed = shot(*f.button);
        // Highlight above the shine would give about 73 at the top instead.
        EXPECT_NEAR(grey(pressed, 39, 0), kTopPressed, 3);
        EXPECT_NEAR(grey(pressed, 39, pressed.height() - 1), kBottomPressed, 3);

        if (byKey)
            QTest::keyRelease(f.button, Qt::Key_Space);
        else
            QTest::mouseRelease(f.button, Qt::LeftButton, {}, QPoint(30, 15));
        EXPECT_FALSE(f.button->isHighlightShown());
        EXPECT_EQ(shot(*f.button), before);
        EXPECT_EQ(clicked.count(), 1);
    }
}

TEST(GradientButton, BorderIsADarkGreyLineAroundTheEdgeDrawnOnce)
{
    Fixture f;
    const QImage plain = shot(*f.button);
    f.button->initBorder();
    f.button->initBorder();
    const QImage bordered = shot(*f.button);
    const int h = bordered.height();
    const int w = bordered.width();
    for (const QPoint p : {QPoint(0, h * 3 / 4), QPoint(w - 1, h * 3 / 4), QPoint(w / 2, h - 1)})
        EXPECT_NEAR(grey(bordered, p.x(), p.y()), 85, 3) << p.x() << "," << p.y();
    // Inside the border nothing changed.
    EXPECT_EQ(bordered.copy(1, 1, w - 2, h - 2), plain.copy(1, 1, w - 2, h - 2));
}
