// Shared main of every test program: an offscreen QApplication, then GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

namespace TestEnvironment {
void installListener();
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quaver-pro-tests"));
    TestEnvironment::installListener();
    return RUN_ALL_TESTS();
}
