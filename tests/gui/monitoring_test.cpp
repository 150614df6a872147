#include <httplib.h>

#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <mutex>
#include <thread>

#include "GuiFixture.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "support/LoopbackServers.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;
using test::child;
using test::click;
using test::GuiFixture;
using test::statusText;
using test::typeInto;
using test::waitUntil;

class GuiMonitoring : public GuiFixture {
protected:
    void SetUp() override {
        server.server().Get("/list.html", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard g(m);
            res.set_content(page, "text/html");
        });
        server.start();
        makeProgramDir();
        Database db;
        db.open(dir / "tovi.sdb");
        db.run("delete from info");  // start with no articles
        setItems({3, 2, 1});
    }
    void setItems(std::vector<int> ids) {
        std::string html = "<ul id=\"list\">";
        for (int id : ids)
            html += "<li><a href=\"t-" + std::to_string(id) + ".html\">新文章" + std::to_string(id) +
                    "</a><i>x</i></li>";
        std::lock_guard g(m);
        page = gbk(html + "</ul>");
    }
    int count(int planId) {
        Database db;
        db.open(dir / "tovi.sdb");
        return std::stoi(db.run(Statement("select count(*) from info where planid=?", {planId})).rows[0][0]);
    }
    // Quick cycles for the test; the network fetch stays real (a loopback server).
    static gui::MonitorTiming quick(std::chrono::milliseconds cyclePause = 50ms) {
        gui::MonitorTiming t;
        t.cyclePause = cyclePause;
        t.articlePause = 1ms;
        return t;
    }
    QPushButton* run(gui::MainWindow& w) { return child<QPushButton>(&w, QStringLiteral("运行")); }
    QSystemTrayIcon* tray(gui::MainWindow& w) {
        return child<QSystemTrayIcon>(&w, QStringLiteral("托盘图标"));
    }
    void startMonitoring(gui::MainWindow& w) {
        typeInto(child<QLineEdit>(&w, QStringLiteral("频率框")), QStringLiteral("10"));
        click(run(w));
    }

    std::mutex m;
    std::string page;
    test::HttpTestServer server;  // last: its handlers use the members above
};

TEST_F(GuiMonitoring, FrequencyRule) {
    auto w = startWindow();
    auto* frequency = child<QLineEdit>(w.get(), QStringLiteral("频率框"));
    for (const char* text : {"9", "abc", ""}) {
        SCOPED_TRACE(text);
        dialogs.shown.clear();
        typeInto(frequency, QString::fromUtf8(text));
        click(run(*w));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("监控频率不能低于 10 秒"));
        EXPECT_EQ(frequency->text(), QStringLiteral("10"));
        EXPECT_EQ(run(*w)->text(), QStringLiteral("监控勾选"));
    }
}

TEST_F(GuiMonitoring, FullCycleAlertThenAcknowledgeThenStop) {
    addPlan(1, 1, "演示论坛", server.url("/list.html"), 1);
    Settings(dir / "tovimo.ini").write(SettingKey::iconAlert(), "1");
    auto w = startWindow(quick());
    startMonitoring(*w);
    EXPECT_EQ(run(*w)->text(), QStringLiteral("停止监控"));
    EXPECT_TRUE(child<QTextBrowser>(w.get(), QStringLiteral("网页框"))->isHidden());
    // The alert reaches the widgets through the GUI thread's queue: wait for what the user sees.
    ASSERT_TRUE(waitUntil([&] { return tray(*w)->toolTip() == QStringLiteral("有新的消息！"); }));
    EXPECT_EQ(count(1), 3);
    auto* list = child<QTableWidget>(w.get(), QStringLiteral("文章列表框"));
    EXPECT_EQ(list->rowCount(), 0);  // the list is a snapshot until acknowledged

    emit tray(*w)->activated(QSystemTrayIcon::Trigger);  // the user clicks the tray icon
    EXPECT_EQ(tray(*w)->toolTip(), QStringLiteral("Tovi监控"));
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->item(0, 2)->text(), QStringLiteral("新文章3"));

    // A new article on the page arrives in a later cycle.
    setItems({4, 3, 2, 1});
    ASSERT_TRUE(waitUntil([&] { return count(1) == 4; }));
    click(run(*w));  // stop
    EXPECT_EQ(run(*w)->text(), QStringLiteral("监控勾选"));
    QTest::qWait(200);
    EXPECT_EQ(count(1), 4);
}

TEST_F(GuiMonitoring, StopDuringAHangingFetchAndClosingTheWindow) {
    test::RawHttpServer hanging("", /*hang=*/true);
    addPlan(1, 1, "挂起", hanging.url("/list.html"), 1);
    auto w = startWindow();
    startMonitoring(*w);
    ASSERT_TRUE(hanging.waitForRequests(1));
    // × while monitoring asks first: "no" keeps the window and the watching.
    dialogs.answer = false;
    w->close();
    EXPECT_TRUE(dialogs.saw(QStringLiteral("关闭程序会停止监控")));
    EXPECT_EQ(run(*w)->text(), QStringLiteral("停止监控"));
    dialogs.answer = true;
    QElapsedTimer closing;
    closing.start();
    w->close();  // stops monitoring, waits for the worker, closes the database
    EXPECT_LT(closing.elapsed(), 2000);
    EXPECT_EQ(run(*w)->text(), QStringLiteral("监控勾选"));
    EXPECT_FALSE(w->isVisible());
}

TEST_F(GuiMonitoring, EmptyQueueResetsTheCaption) {
    addPlan(1, 1, "未勾选", server.url("/list.html"), 0);
    auto w = startWindow();
    startMonitoring(*w);
    ASSERT_TRUE(waitUntil([&] { return dialogs.saw(QStringLiteral("执行队列为空！")); }));
    EXPECT_FALSE(dialogs.shown.back().modal);  // the window stays usable
    EXPECT_TRUE(waitUntil([&] { return run(*w)->text() == QStringLiteral("监控勾选"); }));
}

TEST_F(GuiMonitoring, OverlappingOneClickPassesStoreEachArticleOnce) {
    addPlan(1, 1, "甲", server.url("/list.html"), 0);
    addPlan(2, 2, "乙", server.url("/list.html"), 1);
    gui::MonitorTiming timing;
    timing.articlePause = 5ms;
    auto w = startWindow(timing);
    auto* oneClick = child<QPushButton>(w.get(), QStringLiteral("一键提取"));
    click(oneClick);
    click(oneClick);
    ASSERT_TRUE(waitUntil([&] { return statusText(w.get()).count(QStringLiteral("任务2已结束")) == 2; }));
    EXPECT_EQ(count(1), 3);
    EXPECT_EQ(count(2), 3);
    EXPECT_EQ(tray(*w)->toolTip(), QStringLiteral("Tovi监控"));  // one-shot passes raise no alert
}

TEST_F(GuiMonitoring, APlanFailingThreeRunsInARowShowsAWarning) {
    addPlan(1, 1, "坏掉的方案", server.url("/nothing-here.html"), 0);
    gui::MonitorTiming timing;
    timing.articlePause = 1ms;
    auto w = startWindow(timing);
    auto* tree = child<QTreeWidget>(w.get(), QStringLiteral("栏目框"));
    QTreeWidgetItem* plan = tree->topLevelItem(0)->child(0);
    const QImage planIcon = plan->icon(0).pixmap(16).toImage();
    auto* oneClick = child<QPushButton>(w.get(), QStringLiteral("一键提取"));
    for (int run = 1; run <= 3; ++run) {
        click(oneClick);
        ASSERT_TRUE(
            waitUntil([&] { return statusText(w.get()).count(QStringLiteral("截取源码为空")) == run; }));
        ASSERT_TRUE(waitUntil([&] {
            return plan->toolTip(0).startsWith(run < 3 ? QStringLiteral("最近一次")
                                                       : QStringLiteral("已连续 3 次失败"));
        }));
    }
    EXPECT_TRUE(plan->toolTip(0).contains(QStringLiteral("无法获取页面：HTTP 404")));
    EXPECT_TRUE(plan->toolTip(0).contains(QStringLiteral("最后成功：从未成功")));
    EXPECT_NE(plan->icon(0).pixmap(16).toImage(), planIcon);
    EXPECT_TRUE(statusText(w.get()).contains(QStringLiteral("方案1 已连续 3 次失败")));
    // The sign is there again after a restart: the health is kept in tovi.sdb.
    w.reset();
    auto again = startWindow(timing);
    EXPECT_TRUE(child<QTreeWidget>(again.get(), QStringLiteral("栏目框"))
                    ->topLevelItem(0)
                    ->child(0)
                    ->toolTip(0)
                    .startsWith(QStringLiteral("已连续 3 次失败")));
}

// What is watched survives a restart: the ticks are the plans' 默认监控 flag, and monitoring
// left on starts again by itself; stopped by the user, it stays stopped.
TEST_F(GuiMonitoring, TicksAndMonitoringSurviveARestart) {
    addPlan(1, 1, "论坛甲", server.url("/list.html"), 0);
    addPlan(2, 1, "论坛乙", server.url("/list.html"), 1);
    auto tree = [](gui::MainWindow& w) { return child<QTreeWidget>(&w, QStringLiteral("栏目框")); };
    auto w = startWindow(quick());
    QTreeWidgetItem* forum = tree(*w)->topLevelItem(0);
    forum->child(0)->setCheckState(0, Qt::Checked);  // as a click on its box does
    forum->child(1)->setCheckState(0, Qt::Unchecked);
    startMonitoring(*w);
    ASSERT_TRUE(waitUntil([&] { return count(1) == 3; }));
    EXPECT_EQ(count(2), 0);
    w.reset();  // closed while monitoring (a reboot, a logout)

    setItems({4, 3, 2, 1});
    auto again = startWindow(quick());
    forum = tree(*again)->topLevelItem(0);
    EXPECT_EQ(forum->child(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(forum->child(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(run(*again)->text(), QStringLiteral("停止监控"));
    EXPECT_TRUE(statusText(again.get()).contains(QStringLiteral("上次关闭时正在监控")));
    ASSERT_TRUE(waitUntil([&] { return count(1) == 4; }));
    click(run(*again));  // the user stops it
    again.reset();

    auto third = startWindow(quick());
    EXPECT_EQ(run(*third)->text(), QStringLiteral("监控勾选"));
    // The command line sees the same ticks.
    Database db;
    db.open(dir / "tovi.sdb");
    EXPECT_EQ(db.run("select id from rule where isdo=1").rows,
              (std::vector<std::vector<std::string>>{{"1"}}));
}

// The window has a connection of its own: while a worker waits for another program's write
// lock (holding its own connection), the window still reads the article list at once.
TEST_F(GuiMonitoring, TheWindowReadsWhileAWorkerWaitsForTheDatabase) {
    addPlan(1, 1, "甲", server.url("/list.html"), 0);
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    ASSERT_TRUE(other.runScript("BEGIN IMMEDIATE").ok);
    auto w = startWindow(quick());
    click(child<QPushButton>(w.get(), QStringLiteral("一键提取")));
    ASSERT_TRUE(waitUntil([&] { return statusText(w.get()).contains(QStringLiteral("、匹配文章")); }));
    std::this_thread::sleep_for(100ms);  // the worker is in its wait for the lock by now
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    EXPECT_TRUE(statusText(w.get()).contains(QStringLiteral("已刷新列表")));
    // The read did not wait for the worker to give up on the lock: the worker still waits, and
    // stores the articles once the other program lets go.
    other.runScript("ROLLBACK");
    ASSERT_TRUE(waitUntil([&] { return statusText(w.get()).contains(QStringLiteral("任务1已结束")); }));
    EXPECT_FALSE(statusText(w.get()).contains(QStringLiteral("保存失败")));
    EXPECT_EQ(count(1), 3);
}

TEST_F(GuiMonitoring, NoTrayStillAlerts) {
    addPlan(1, 1, "演示", server.url("/list.html"), 1);
    Settings(dir / "tovimo.ini").write(SettingKey::iconAlert(), "1");
    auto w = startWindow(quick(1h));  // the offscreen platform has no system tray
    ASSERT_FALSE(tray(*w)->isVisible());
    startMonitoring(*w);
    // The status line reaches the box through the GUI thread's queue: wait for what the user sees.
    ASSERT_TRUE(waitUntil([&] {
        return statusText(w.get()).contains(
            QStringLiteral("发现有新内容！请单击 托盘图标 或左上角 全部文章按钮更新列表！"));
    }));
    // Minimising without a tray never hides the window into nothing.
    w->show();
    click(child<QAbstractButton>(w.get(), QStringLiteral("最小化")));
    QApplication::processEvents();
    EXPECT_FALSE(w->isHidden());
    click(run(*w));
}

}  // namespace
}  // namespace tovi
