// Runs on a real X server (Xvfb) with a tray host: the tray icon, minimise-to-tray and Alt+Q.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <atomic>

#include "../GuiFixture.h"
#include "core/store/Database.h"
#include "support/LoopbackServers.h"

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

    (void)!std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible() || w->isMinimized(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return recorder.altQ == 1; }, 5000));  // not swallowed
    (void)!std::system("xdotool key alt+q");
    EXPECT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }, 5000));
    // Q alone, or Alt released before Q, does nothing.
    (void)!std::system("xdotool key q");
    (void)!std::system("xdotool key alt");
    (void)!std::system("xdotool key q");
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(w->isVisible());
}

// Alt+Q typed while our search box has the focus types nothing there, and the window comes back
// where it was, not at the screen's corner.
TEST_F(X11Session, AltQTypesNothingAndTheWindowComesBackWhereItWas) {
    makeProgramDir();
    auto w = startWindow();
    if (statusText(w.get()).contains(QStringLiteral("Alt+Q"))) GTEST_SKIP() << "no XInput 2 on this display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is not installed";
    w->show();
    ASSERT_TRUE(waitUntil([&] { return w->isVisible(); }));
    w->move(300, 200);
    ASSERT_TRUE(waitUntil([&] { return w->pos() == QPoint(300, 200); }));
    auto* search = child<QLineEdit>(w.get(), QStringLiteral("搜索框"));
    w->activateWindow();
    search->setFocus();
    ASSERT_TRUE(waitUntil([&] { return search->hasFocus(); }, 5000));
    (void)!std::system("xdotool key alt+q");
    ASSERT_TRUE(waitUntil([&] { return !w->isVisible() || w->isMinimized(); }, 5000));
    (void)!std::system("xdotool key alt+q");
    ASSERT_TRUE(waitUntil([&] { return w->isVisible() && !w->isMinimized(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return w->pos() == QPoint(300, 200); }, 2000)) << w->x() << "," << w->y();
    EXPECT_EQ(search->text(), QString());  // the hint stays a hint; no "q" joined it
    EXPECT_EQ(search->placeholderText(), QStringLiteral("输入关键词，回车搜索"));
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

using test::child;
using test::click;
using test::GuiFixture;
using test::waitUntil;

// A notification daemon that is there but fails every call (it could not start, it broke).
class BrokenNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    std::atomic<int> calls{0};
public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                             const QStringList&, const QVariantMap&, int) {
        ++calls;
        sendErrorReply(QDBusError::Failed, QStringLiteral("the daemon has no display"));
        return 0;
    }
};

class X11Notifications : public GuiFixture {
protected:
    // One pass that stores two articles; the notice must reach the user as the tray's balloon.
    void expectTheBalloon() {
        if (!waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000))
            GTEST_SKIP() << "no tray host on this display";
        if (!QSystemTrayIcon::supportsMessages()) GTEST_SKIP() << "this desktop shows no notifications";
        test::HttpTestServer site;
        site.server().Get("/list.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(gbk("<ul id=\"list\"><li><a href=\"t-2.html\">第二篇</a><i>x</i></li>"
                                "<li><a href=\"t-1.html\">第一篇</a><i>x</i></li></ul>"),
                            "text/html");
        });
        site.start();
        makeProgramDir();
        addPlan(1, 1, "演示论坛", site.url("/list.html"), 1);
        Database db;
        db.open(dir / "tovi.sdb");
        db.run("delete from info");
        gui::MonitorTiming timing;
        timing.articlePause = std::chrono::milliseconds(1);
        auto w = startWindow(timing);
        w->show();
        click(child<QPushButton>(w.get(), QStringLiteral("一键提取")));
        // The notification: Qt's own balloon where no notification service takes it.
        QWidget* balloon = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (QString(top->metaObject()->className()) == QStringLiteral("QBalloonTip") &&
                    top->isVisible())
                    balloon = top;
            return balloon != nullptr;
        }));
        QString shown;
        for (QLabel* label : balloon->findChildren<QLabel*>()) shown += label->text() + QStringLiteral("\n");
        EXPECT_TRUE(shown.contains(QStringLiteral("Tovidesk：2 篇新文章"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("[演示论坛] 第二篇"))) << shown.toStdString();
        // Clicking it shows the window with the new articles listed.
        QTest::mouseClick(balloon, Qt::LeftButton);
        auto* list = child<QTableWidget>(w.get(), QStringLiteral("文章列表框"));
        EXPECT_TRUE(waitUntil([&] { return list->rowCount() == 2; }));
        EXPECT_EQ(list->item(0, 2)->text(), QStringLiteral("第二篇"));
    }
    // run-x11-tests.sh runs the tests twice: without a bus, and on a private bus of its own.
    static bool onPrivateBus() { return qgetenv("TOVI_TEST_PRIVATE_BUS") == "1"; }
};

TEST_F(X11Notifications, WithoutANotificationServiceNewArticlesComeAsTheBalloon) {
    if (onPrivateBus()) GTEST_SKIP() << "this run has a bus";
    expectTheBalloon();
}

TEST_F(X11Notifications, ANotificationServiceThatFailsLeavesTheNoticeToTheBalloon) {
    if (!onPrivateBus()) GTEST_SKIP() << "this run has no bus";
    QDBusConnection serviceSide =
        QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS")),
                                      QStringLiteral("broken notification daemon"));
    ASSERT_TRUE(serviceSide.isConnected());
    BrokenNotifications broken;
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &broken,
                                           QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
    expectTheBalloon();
    EXPECT_EQ(broken.calls.load(), 1);
}

}  // namespace
}  // namespace tovi

#include "x11_test.moc"
