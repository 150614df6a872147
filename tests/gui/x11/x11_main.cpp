#include <gtest/gtest.h>

#include <QApplication>

// Runs on the X server of $DISPLAY (run-x11-tests.sh starts Xvfb and a tray host).
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
