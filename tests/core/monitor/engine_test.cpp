#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/monitor/PlanTestRun.h"
#include "core/settings/Settings.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;
using test::EngineFixture;
using test::PlanRowValues;
using test::RawHttpServer;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class RunControl : public EngineFixture {};

TEST_F(RunControl, FrequencyRule) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {{"9", false}, {"abc", false}, {"", false}, {"10", true}, {"１５", true}, {"-20", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(checkFrequency(gbk(c.text)).has_value(), c.ok);
    }
    EXPECT_EQ(cyclePause(10), 10000ms);
    EXPECT_EQ(cyclePause(2500000), std::chrono::milliseconds(2500000000LL));  // past 32 bits, no wrap
    EXPECT_EQ(cyclePause(INT64_MAX), std::chrono::milliseconds(30LL * 24 * 3600 * 1000));
    EXPECT_GT(cyclePause(0).count(), 0);
}

TEST_F(RunControl, PeriodicCyclesAlertOnceThenStopDuringPause) {
    PlanRowValues spec;
    spec.url = server.url("/p.html");
    int id = addPlan(spec);
    setPage("/p.html", listPage({{1, "一"}}, false));
    monitoring->alerts().setSoundOnNew(true);
    monitoring->alerts().setIconOnNew(true);
    ASSERT_TRUE(monitoring->engine().startPeriodic({id}, 20ms));
    EXPECT_FALSE(monitoring->engine().startPeriodic({id}, 20ms));  // at most one periodic worker
    ASSERT_TRUE(eventually([&] { return listener.cycles >= 3; }));
    monitoring->engine().requestStopPeriodic();
    EXPECT_FALSE(monitoring->engine().periodicRunning());
    ASSERT_TRUE(monitoring->engine().waitAll(5s));
    EXPECT_EQ(listener.alerts.load(), 1);  // only the first cycle found something
    EXPECT_EQ(alerts.sounds.load(), 1);
    EXPECT_TRUE(alerts.iconIsAlert);
    EXPECT_TRUE(monitoring->alerts().alertPending());
    EXPECT_EQ(titles(id).size(), 1u);
    // The status box is emptied after each pause; the last cycle's lines stay.
    EXPECT_EQ(sink.utf8().find("开始提取"), sink.utf8().rfind("开始提取"));
    EXPECT_NE(sink.utf8().find("\r\n本轮执行完毕！----12/9 7:05"), std::string::npos);
}

TEST_F(RunControl, StopDuringAHangingFetch) {
    RawHttpServer hanging("", /*hang=*/true);
    PlanRowValues spec;
    spec.url = hanging.url("/list.html");
    int id = addPlan(spec);
    ASSERT_TRUE(monitoring->engine().startPeriodic({id}, 1h));
    ASSERT_TRUE(hanging.waitForRequests(1));
    auto asked = std::chrono::steady_clock::now();
    monitoring->engine().requestStopPeriodic();
    // The fetch would hang for 30 s: a stop that waited for it could not end in 5.
    ASSERT_TRUE(monitoring->engine().waitAll(5s));
    auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
    RecordProperty("stop_ms", static_cast<int>(took.count()));
    EXPECT_EQ(articleCount(), 0);
    // The database lock is free: a statement runs at once.
    EXPECT_TRUE(db.run("select count(*) from info").ok);
    EXPECT_EQ(sink.utf8().find("本轮执行完毕"), std::string::npos);  // no further step after the stop
}

TEST_F(RunControl, StopWhileWaitingForTheDatabase) {
    PlanRowValues spec;
    spec.url = server.url("/db-wait.html");
    int id = addPlan(spec);
    setPage("/db-wait.html", listPage({{1, "一"}}, false));
    // Another program holds the write lock; the run waits for it (up to the busy timeout).
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    ASSERT_TRUE(monitoring->engine().startPeriodic({id}, 1h));
    ASSERT_TRUE(eventually([&] { return sink.utf8().find("、匹配文章") != std::string::npos; }));
    std::this_thread::sleep_for(100ms);
    monitoring->engine().requestStopPeriodic();
    // Well inside the 5 s busy timeout: the wait itself saw the stop request.
    EXPECT_TRUE(monitoring->engine().waitAll(2s));
    other.runScript("ROLLBACK");
    ASSERT_TRUE(monitoring->engine().waitAll(10s));
    EXPECT_EQ(articleCount(), 0);
}

TEST_F(RunControl, StartsFromManyThreadsMakeOnePeriodicWorker) {
    PlanRowValues spec;
    spec.url = server.url("/one.html");
    int id = addPlan(spec);
    setPage("/one.html", listPage({{1, "一"}}, false));
    std::atomic<int> started{0};
    std::vector<std::thread> starters;
    for (int i = 0; i < 8; ++i)
        starters.emplace_back([&] { started += monitoring->engine().startPeriodic({id}, 1h); });
    for (auto& t : starters) t.join();
    EXPECT_EQ(started.load(), 1);
    monitoring->engine().requestStopAll();
    ASSERT_TRUE(monitoring->engine().waitAll(5s));
}

TEST_F(RunControl, AStoppedWaitForARunningPlanLetsTheNextRunIn) {
    test::RawHttpServer hanging("", /*hang=*/true);
    PlanRowValues spec;
    spec.url = hanging.url("/list.html");
    int id = addPlan(spec);
    // One pass hangs on the page; a second waits for it, then both are stopped.
    monitoring->engine().startOneShot({id}, RunMode::RunAll);
    ASSERT_TRUE(hanging.waitForRequests(1));
    monitoring->engine().startOneShot({id}, RunMode::RunAll);
    ASSERT_TRUE(eventually([&] { return sink.utf8().find("正在被另一个任务提取") != std::string::npos; }));
    monitoring->engine().requestStopAll();
    ASSERT_TRUE(monitoring->engine().waitAll(5s));
    // Neither left the plan marked as running: a new run starts at once.
    sink.replaceAll("");
    setPage("/list.html", listPage({{1, "一"}}, false));
    db.run(Statement("update rule set url=? where id=?", {server.url("/list.html"), id}));
    reloadPlanTable();
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(sink.utf8().find("正在被另一个任务提取"), std::string::npos);
    EXPECT_EQ(articleCount(), 1);
}

TEST_F(RunControl, ArticlesAreStoredWhenThePushTablesAreMissing) {
    // A file whose push tables could not be made (another program held it at open): the
    // articles never depend on them.
    ASSERT_TRUE(db.runScript("DROP TABLE push_outbox; DROP TABLE push_channels").ok);
    setPage("/list.html", listPage({{2, "二"}, {1, "一"}}, false));
    PlanRowValues plan;
    plan.url = server.url("/list.html");
    const int id = addPlan(plan);
    const PlanRunOutcome outcome = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(outcome.kind, PlanRunOutcome::Kind::Stored) << gbkToUtf8(outcome.reason);
    EXPECT_EQ(articleCount(), 2);
}

TEST_F(RunControl, EmptyQueueEndsTheWorkerAndSaysSo) {
    ASSERT_TRUE(monitoring->engine().startPeriodic({}, 10s));
    ASSERT_TRUE(eventually([&] { return listener.emptyQueues == 1; }));
    ASSERT_TRUE(monitoring->engine().waitAll(5s));
    EXPECT_FALSE(monitoring->engine().periodicRunning());
    monitoring->engine().startOneShot({}, RunMode::RunAll);
    ASSERT_TRUE(eventually([&] { return listener.emptyQueues == 2; }));
}

TEST_F(RunControl, OverlappingOneShotPassesNeverDuplicate) {
    PlanRowValues spec;
    spec.url = server.url("/o.html");
    int a = addPlan(spec);
    spec.url = server.url("/o2.html");
    int b = addPlan(spec);
    std::vector<std::pair<int, std::string>> many;
    for (int i = 40; i >= 1; --i) many.emplace_back(i, "第" + std::to_string(i) + "篇");
    setPage("/o.html", listPage(many, false));
    setPage("/o2.html", listPage(many, false));
    monitoring->planRunner().setArticlePause(2ms);
    for (int i = 0; i < 4; ++i) monitoring->engine().startOneShot({a, b}, RunMode::RunAll);
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    EXPECT_EQ(titles(a).size(), 40u);
    EXPECT_EQ(titles(b).size(), 40u);
    EXPECT_EQ(db.run("select count(*) from (select distinct planid, title from info)").rows[0][0], "80");
    EXPECT_NE(sink.utf8().find("正在被另一个任务提取"), std::string::npos);
    // One-shot passes raise no alert themselves.
    EXPECT_EQ(alerts.sounds.load(), 0);
    EXPECT_FALSE(monitoring->alerts().alertPending());
    EXPECT_TRUE(monitoring->alerts().raiseIfNewArticles());
}

TEST(Alerts, RaiseAndAcknowledge) {
    test::RecordingAlerts sinkAlerts;
    test::RecordingSink status;
    test::FixedClock clock;
    struct Case {
        const char* sound;
        const char* icon;
        int sounds, icons;
    } cases[] = {{"1", "1", 1, 1}, {"0", "0", 0, 0}, {"1", "", 1, 0}, {"", "1", 0, 1}, {" 1", "1 ", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sound) + "/" + c.icon);
        test::RecordingAlerts rec;
        AlertNotifier n(rec, status, clock);
        // The switches as the settings file holds them: only "1" means on.
        n.setSoundOnNew(Settings::isOn(c.sound));
        n.setIconOnNew(Settings::isOn(c.icon));
        EXPECT_FALSE(n.raiseIfNewArticles());
        n.noteNewArticles();
        EXPECT_TRUE(n.raiseIfNewArticles());
        EXPECT_FALSE(n.raiseIfNewArticles());  // one alert per finding
        EXPECT_TRUE(n.alertPending());
        EXPECT_EQ(rec.sounds.load(), c.sounds);
        EXPECT_EQ(rec.alertIcons.load(), c.icons);
        EXPECT_TRUE(n.acknowledgeAlert());
        EXPECT_FALSE(n.acknowledgeAlert());
        EXPECT_EQ(rec.normalIcons.load(), c.icons);
    }
    EXPECT_NE(status.utf8().find(
                  "\r\n发现有新内容！请单击 托盘图标 或左上角 全部文章按钮更新列表！----2016-12-9 7:5:3"),
              std::string::npos);
}

TEST(Alerts, IconSwitchedOffWhileShownIsStillRestored) {
    test::RecordingAlerts rec;
    test::RecordingSink status;
    test::FixedClock clock;
    AlertNotifier n(rec, status, clock);
    n.setIconOnNew(true);
    n.noteNewArticles();
    n.raiseIfNewArticles();
    n.setIconOnNew(false);
    n.acknowledgeAlert();
    EXPECT_FALSE(rec.iconIsAlert);
}

class PlanTest : public EngineFixture {};

TEST_F(PlanTest, OutcomesAsTheEditorShowsThem) {
    setPage("/t.html", listPage({{7, "测试一"}, {8, "测试二"}}, true));
    PlanTestInput base;
    base.expression = "<a href=\"t-(\\d+)\\.html\">(.*?)</a>";
    base.url = server.url("/t.html");
    base.before = gbk("<ul id=\"list\">");
    base.after = "</ul>";
    base.userAgent = "Editor";

    PlanTestResult ok = runPlanTest(base);
    EXPECT_EQ(ok.outcome, PlanTestResult::Outcome::Matches);
    EXPECT_EQ(ok.columns, (std::vector<std::string>{gbk("索引 0"), gbk("索引 1"), gbk("索引 2")}));
    ASSERT_EQ(ok.rows.size(), 2u);
    EXPECT_EQ(ok.rows[0][1], "7");
    EXPECT_EQ(ok.rows[1][2], gbk("测试二"));
    EXPECT_EQ(ok.message, gbk("成功取到　2条文章！"));
    EXPECT_TRUE(ok.unlocksEditor);
    EXPECT_EQ(ok.cutText.find('\t'), std::string::npos);  // cleaned like a monitoring run
    EXPECT_EQ(ok.encodingNote, "");
    // A UTF-8 page read as GBK still "matches", garbled: the test says so.
    PlanTestInput asGbk = base;
    asGbk.pageIsGbk = true;
    EXPECT_NE(gbkToUtf8(runPlanTest(asGbk).encodingNote).find("注意：页面是 UTF-8 编码"), std::string::npos);

    struct Case {
        const char* name;
        std::function<void(PlanTestInput&)> change;
        PlanTestResult::Outcome outcome;
        const char* text;  // message or cut text
    } cases[] = {
        {"empty expression", [](PlanTestInput& i) { i.expression.clear(); },
         PlanTestResult::Outcome::EmptyExpression, "正则匹配规则不能为空!"},
        {"blocked site", [](PlanTestInput& i) { i.url = std::string("http://") + kBlockedSiteKeyword + "/"; },
         PlanTestResult::Outcome::BlockedSite, "此站不允许监控!"},
        {"no match", [](PlanTestInput& i) { i.expression = "nothing-like-this"; },
         PlanTestResult::Outcome::NoMatches, "匹配结果为0,请检查正则匹配规则!"},
        {"bad expression", [](PlanTestInput& i) { i.expression = "(oops"; },
         PlanTestResult::Outcome::NoMatches, "匹配结果为0,请检查正则匹配规则!"},
        {"unreachable", [](PlanTestInput& i) { i.url = "http://127.0.0.1:1/"; },
         PlanTestResult::Outcome::EmptyCut, "出错！截取源码为空，请检查方案的采集区域！"},
        {"end marker missing", [](PlanTestInput& i) { i.after = "</table>"; },
         PlanTestResult::Outcome::EmptyCut, "出错！截取源码为空，请检查方案的采集区域！"},
        {"empty address", [](PlanTestInput& i) { i.url = "  "; }, PlanTestResult::Outcome::RefusedInput,
         "监控网址不能为空"},
        {"local file", [](PlanTestInput& i) { i.url = "file:///etc/hostname"; },
         PlanTestResult::Outcome::RefusedInput, "只能访问 http:// 或 https:// 开头的网址"},
        {"line break in the cookie", [](PlanTestInput& i) { i.cookie = "a=1\r\nHost: evil.example"; },
         PlanTestResult::Outcome::RefusedInput, "监控网址、COOKIE 和 模拟浏览 中不能有换行符"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlanTestInput in = base;
        c.change(in);
        PlanTestResult r = runPlanTest(in);
        EXPECT_EQ(r.outcome, c.outcome);
        const std::string& shown = r.outcome == PlanTestResult::Outcome::EmptyCut ? r.cutText : r.message;
        EXPECT_EQ(gbkToUtf8(shown).rfind(c.text, 0), 0u) << gbkToUtf8(shown);
        EXPECT_FALSE(r.unlocksEditor);
        EXPECT_TRUE(r.rows.empty());
    }
}

}  // namespace
}  // namespace tovi
