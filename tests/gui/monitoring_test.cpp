#include <httplib.h>

#include <QTreeWidgetItem>
#include <mutex>

#include "GuiFixture.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "gui/ArticleListWidget.h"
#include "gui/PlanTreeWidget.h"
#include "gui/StatusBox.h"
#include "support/LoopbackServers.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;
using test::GuiFixture;
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
    QString status(gui::MainWindow& w) { return QString::fromStdString(gbkToUtf8(w.statusBox()->gbkText())); }

    test::HttpTestServer server;
    std::mutex m;
    std::string page;
};

TEST_F(GuiMonitoring, FrequencyRule) {
    auto w = startWindow();
    for (const char* text : {"9", "abc", ""}) {
        SCOPED_TRACE(text);
        dialogs.shown.clear();
        w->frequencyBox()->setText(QString::fromUtf8(text));
        w->toggleMonitoring();
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("监控频率不能低于 10 秒"));
        EXPECT_EQ(w->frequencyBox()->text(), QStringLiteral("10"));
        EXPECT_EQ(w->runButton()->text(), QStringLiteral("监控勾选"));
    }
}

TEST_F(GuiMonitoring, FullCycleAlertThenAcknowledgeThenStop) {
    addPlan(1, 1, "演示论坛", server.url("/list.html"), 1);
    Settings(dir / "tovimo.ini").write(SettingKey::iconAlert(), "1");
    auto w = startWindow();
    w->setCyclePauseOverride(50ms);
    w->setArticlePause(1ms);
    w->frequencyBox()->setText(QStringLiteral("10"));
    w->toggleMonitoring();
    EXPECT_EQ(w->runButton()->text(), QStringLiteral("停止监控"));
    EXPECT_TRUE(w->homePage()->isHidden());
    // The alert reaches the widgets through the GUI thread's queue: wait for what the user sees.
    ASSERT_TRUE(waitUntil([&] { return w->monitoring()->alerts().alertPending() && w->trayShowsAlert(); }));
    EXPECT_EQ(count(1), 3);
    EXPECT_EQ(w->articleList()->rowCount(), 0);  // the list is a snapshot until acknowledged

    w->acknowledgeAlert();
    EXPECT_FALSE(w->monitoring()->alerts().alertPending());
    EXPECT_FALSE(w->trayShowsAlert());
    ASSERT_EQ(w->articleList()->rowCount(), 3);
    EXPECT_EQ(w->articleList()->item(0, 2)->text(), QStringLiteral("新文章3"));

    // A new article on the page arrives in a later cycle.
    setItems({4, 3, 2, 1});
    ASSERT_TRUE(waitUntil([&] { return count(1) == 4; }));
    w->toggleMonitoring();  // stop
    EXPECT_EQ(w->runButton()->text(), QStringLiteral("监控勾选"));
    ASSERT_TRUE(w->monitoring()->engine().waitAll(2s));
    EXPECT_EQ(count(1), 4);
}

TEST_F(GuiMonitoring, StopDuringAHangingFetchAndClosingTheWindow) {
    test::RawHttpServer hanging("", /*hang=*/true);
    addPlan(1, 1, "挂起", hanging.url("/list.html"), 1);
    auto w = startWindow();
    w->frequencyBox()->setText(QStringLiteral("10"));
    w->toggleMonitoring();
    ASSERT_TRUE(hanging.waitForRequests(1));
    w->close();  // stops monitoring, waits briefly, closes the database
    EXPECT_EQ(w->runButton()->text(), QStringLiteral("监控勾选"));
    EXPECT_EQ(w->monitoring()->engine().runningWorkers(), 0);
}

TEST_F(GuiMonitoring, EmptyQueueResetsTheCaption) {
    addPlan(1, 1, "未勾选", server.url("/list.html"), 0);
    auto w = startWindow();
    w->frequencyBox()->setText(QStringLiteral("10"));
    w->toggleMonitoring();
    ASSERT_TRUE(waitUntil([&] { return dialogs.saw(QStringLiteral("执行队列为空！")); }));
    EXPECT_FALSE(dialogs.shown.back().modal);  // the window stays usable
    EXPECT_TRUE(waitUntil([&] { return w->runButton()->text() == QStringLiteral("监控勾选"); }));
}

TEST_F(GuiMonitoring, OverlappingOneClickPassesStoreEachArticleOnce) {
    addPlan(1, 1, "甲", server.url("/list.html"), 0);
    addPlan(2, 2, "乙", server.url("/list.html"), 1);
    auto w = startWindow();
    w->setArticlePause(5ms);
    w->oneClickExtract();
    w->oneClickExtract();
    ASSERT_TRUE(waitUntil([&] { return w->monitoring()->engine().runningWorkers() == 0; }));
    EXPECT_EQ(count(1), 3);
    EXPECT_EQ(count(2), 3);
    EXPECT_FALSE(w->monitoring()->alerts().alertPending());  // one-shot passes raise no alert
}

TEST_F(GuiMonitoring, NoTrayStillAlertsAndAcknowledges) {
    addPlan(1, 1, "演示", server.url("/list.html"), 1);
    Settings(dir / "tovimo.ini").write(SettingKey::iconAlert(), "1");
    auto w = startWindow();  // the offscreen platform has no system tray
    ASSERT_EQ(w->trayIcon(), nullptr);
    w->setCyclePauseOverride(1h);
    w->frequencyBox()->setText(QStringLiteral("10"));
    w->toggleMonitoring();
    // The status line reaches the box through the GUI thread's queue: wait for what the user sees.
    ASSERT_TRUE(waitUntil([&] {
        return status(*w).contains(
            QStringLiteral("发现有新内容！请单击 托盘图标 或左上角 全部文章按钮更新列表！"));
    }));
    EXPECT_TRUE(w->monitoring()->alerts().alertPending());
    // Minimising without a tray never hides the window into nothing.
    w->show();
    w->minimiseWindow();
    QApplication::processEvents();
    EXPECT_FALSE(w->isHidden());
    w->toggleMonitoring();
}

}  // namespace
}  // namespace tovi
