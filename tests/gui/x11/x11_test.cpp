// Runs on a real X server (Xvfb) with a tray host: the tray icon, minimise-to-tray and Alt+Q.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>

#include "../GuiFixture.h"
#include "gui/StatusBox.h"

namespace tovi {
namespace {

using test::GuiFixture;
using test::waitUntil;

class X11Session : public GuiFixture {};

TEST_F(X11Session, TrayIconMinimiseAndRestore) {
    if (!waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000))
        GTEST_SKIP() << "no tray host on this display";
    makeProgramDir();
    auto w = startWindow();
    ASSERT_NE(w->trayIcon(), nullptr);
    EXPECT_EQ(w->trayIcon()->toolTip(), QStringLiteral("Tovi监控"));
    w->show();
    ASSERT_TRUE(waitUntil([&] { return w->isVisible(); }));
    w->minimiseWindow();
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible(); }));  // lives on in the tray
    w->onTrayActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }));
}

TEST_F(X11Session, AltQShowsAndHidesTheWindow) {
    makeProgramDir();
    auto w = startWindow();
    const std::string log = w->statusBox()->gbkText();
    if (log.find(gbk("Alt+Q")) != std::string::npos) GTEST_SKIP() << "no global key grab on this display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is not installed";
    w->show();
    ASSERT_TRUE(waitUntil([&] { return w->isVisible(); }));
    QApplication::processEvents();
    std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible() || w->isMinimized(); }, 5000));
    std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }, 5000));
    // Q alone does nothing.
    std::system("xdotool key q");
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(w->isVisible());
}

}  // namespace
}  // namespace tovi
