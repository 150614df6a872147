// Runs on a real X server (Xvfb) with a tray host: the tray icon, minimise-to-tray and Alt+Q.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSystemTrayIcon>

#include "../GuiFixture.h"

namespace tovi {
namespace {

using test::child;
using test::click;
using test::GuiFixture;
using test::statusText;
using test::waitUntil;

class X11Session : public GuiFixture {};

TEST_F(X11Session, TrayIconMinimiseAndRestore) {
    if (!waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000))
        GTEST_SKIP() << "no tray host on this display";
    makeProgramDir();
    auto w = startWindow();
    auto* tray = child<QSystemTrayIcon>(w.get(), QStringLiteral("托盘图标"));
    EXPECT_TRUE(tray->isVisible());
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Tovi监控"));
    w->show();
    ASSERT_TRUE(waitUntil([&] { return w->isVisible(); }));
    click(child<QAbstractButton>(w.get(), QStringLiteral("最小化")));
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible(); }));  // lives on in the tray
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }));
}

// Records the keys another window receives.
class KeyRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Q && (k->modifiers() & Qt::AltModifier)) ++altQ;
        }
        return false;
    }
    int altQ = 0;
};

TEST_F(X11Session, AltQShowsAndHidesTheWindowAndStillReachesOthers) {
    makeProgramDir();
    auto w = startWindow();
    if (statusText(w.get()).contains(QStringLiteral("Alt+Q"))) GTEST_SKIP() << "no XInput 2 on this display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is not installed";
    // Another window has the keyboard focus; Alt+Q must reach it as well.
    QLineEdit other;
    KeyRecorder recorder;
    other.installEventFilter(&recorder);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return other.hasFocus(); }, 5000));
    w->show();
    ASSERT_TRUE(waitUntil([&] { return w->isVisible(); }));
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return other.hasFocus(); }, 5000));

    std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible() || w->isMinimized(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return recorder.altQ == 1; }, 5000));  // not swallowed
    std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }, 5000));
    // Q alone, or Alt released before Q, does nothing.
    std::system("xdotool key q");
    std::system("xdotool key alt");
    std::system("xdotool key q");
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(w->isVisible());
}

}  // namespace
}  // namespace tovi
