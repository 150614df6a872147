#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "core/plans/PlanOptions.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using test::EngineFixture;
using test::PlanRowValues;
using Items = std::vector<std::pair<int, std::string>>;

Items items(std::initializer_list<int> ids) {
    Items out;
    for (int id : ids) out.emplace_back(id, "新闻" + std::to_string(id) + " 标题");
    return out;
}

std::vector<std::string> titlesOf(std::initializer_list<int> ids) {
    std::vector<std::string> out;
    for (int id : ids) out.push_back("新闻" + std::to_string(id) + " 标题");
    return out;
}

// One list page changing round after round, and which articles each round must store.
struct Round {
    Items page;
    std::vector<std::string> newTitles;  // newest row first, as the list shows them
};
struct Scenario {
    const char* name;
    const char* type;
    bool utf8;
    std::vector<Round> rounds;
};

class PlanRunnerRounds : public EngineFixture {};

TEST_F(PlanRunnerRounds, EachModeStoresExactlyTheNewArticles) {
    const Scenario scenarios[] = {
        {"descending: new at the top",
         "0",
         false,
         {{items({3, 2, 1}), titlesOf({3, 2, 1})},
          {items({5, 4, 3, 2, 1}), titlesOf({5, 4})},
          {items({5, 4, 3, 2, 1}), {}},
          {items({6, 5, 4, 3}), titlesOf({6})}}},
        {"descending, UTF-8 page",
         "0",
         true,
         {{items({2, 1}), titlesOf({2, 1})}, {items({3, 2, 1}), titlesOf({3})}}},
        {"ascending: new at the bottom",
         "2",
         true,
         {{items({1, 2, 3}), titlesOf({3, 2, 1})},
          {items({1, 2, 3, 4, 5}), titlesOf({5, 4})},
          {items({2, 3, 4, 5, 6}), titlesOf({6})},
          {items({2, 3, 4, 5, 6}), {}}}},
        {"article ids: pinned entries and gaps",
         "8",
         false,
         {{items({1, 3, 2}), titlesOf({1, 3, 2})},
          {items({1, 5, 3, 4}), titlesOf({5, 4})},
          {items({1, 5, 3, 4}), {}}}},
        // The last article seen dropped off the list: the plan's own markers apply again and
        // every match is stored anew, as the program always did.
        {"marker vanished",
         "0",
         false,
         {{items({2, 1}), titlesOf({2, 1})}, {items({9, 8}), titlesOf({9, 8})}}},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        const std::string path = "/list-" + std::to_string(&sc - scenarios) + ".html";
        PlanRowValues spec;
        spec.url = server.url(path);
        spec.type = sc.type;
        spec.code = sc.utf8 ? "0" : "1";
        int id = addPlan(spec);
        std::vector<std::string> expected;
        for (std::size_t r = 0; r < sc.rounds.size(); ++r) {
            SCOPED_TRACE("round " + std::to_string(r + 1));
            setPage(path, listPage(sc.rounds[r].page, sc.utf8));
            monitoring->planRunner().runPlan(id);
            // The list shows this round's articles, newest first, above the earlier ones.
            std::vector<std::string> now = sc.rounds[r].newTitles;
            now.insert(now.end(), expected.begin(), expected.end());
            expected = now;
            EXPECT_EQ(titles(id), expected);
        }
    }
}

TEST_F(PlanRunnerRounds, StoredRowsAndPlanUpdate) {
    PlanRowValues spec;
    spec.url = server.url("/rows.html");
    spec.name = "论坛 '引号' 方案";
    int id = addPlan(spec);
    setPage("/rows.html", listPage({{12, "it's '); drop table info; --"}, {11, "普通标题"}}, false));
    monitoring->planRunner().runPlan(id);

    auto rows = db.run("select * from info order by id").rows;
    ASSERT_EQ(rows.size(), 2u);
    // Stored last-to-first: the first match of the page gets the highest row id.
    EXPECT_EQ(rows[1][kInfoTitle], "it's '); drop table info; --");
    EXPECT_EQ(rows[1][kInfoPlanname], gbk("论坛 '引号' 方案"));
    EXPECT_EQ(rows[1][kInfoPlanid], std::to_string(id));
    EXPECT_EQ(rows[1][kInfoUrl], "http://site/t-12.html");
    EXPECT_EQ(rows[1][kInfoOther], gbk("作者12"));
    EXPECT_EQ(rows[1][kInfoAddtime], "12/9 7:05");
    EXPECT_EQ(rows[1][kInfoIssoucang], "0");

    auto plan =
        db.run(Statement("select arttile, arturl, lasttime, lastid from rule where id=?", {id})).rows[0];
    EXPECT_EQ(plan[0], "it's '); drop table info; --");
    EXPECT_EQ(plan[1], "http://site/t-12.html");  // the URL of the last article stored
    EXPECT_EQ(plan[2], "12/9 7:05");
    EXPECT_EQ(plan[3], "0");

    // The status trace, as the status box shows it.
    const std::string trace = sink.utf8();
    EXPECT_NE(
        trace.find("\r\n开始提取 方案" + std::to_string(id) +
                   " 的新文章 ---- 12/9 7:05\r\n正在 采集源码、整理源码、"
                   "取有效源码源码中末发现最后文章标记！、匹配文章 取到 2 篇新文章\r\ninsert into info("),
        std::string::npos)
        << trace;
    EXPECT_NE(
        trace.find("values('论坛 ''引号'' 方案'," + std::to_string(id) + ",'it''s ''); drop table info; --'"),
        std::string::npos);
    EXPECT_NE(trace.find("SQL成功！\r\nupdate rule set arttile='it''s"), std::string::npos);
    EXPECT_NE(trace.find("\r\n任务" + std::to_string(id) + "已结束----12/9 7:05"), std::string::npos);
    EXPECT_TRUE(monitoring->alerts().raiseIfNewArticles());
}

// A plan that composes links as a browser does stores "&amp;" decoded and relative links
// resolved against the page (or its <base href>); a plan from before stores what the template
// makes, as it always did, so none of its articles comes back as new.
TEST_F(PlanRunnerRounds, LinksAreComposedTheWayThePlanSays) {
    const std::string html =
        "<html><head><base href=\"/forum/\"></head><body><ul id=\"list\">"
        "<li><a href=\"view.php?tid=7&amp;x=1\">one</a><i>a</i></li>"
        "<li><a href=\"https://other.example/s/8\">two</a><i>b</i></li>"
        "<li><a href=\"../t/9\">three</a><i>c</i></li></ul></body></html>";
    setPage("/dir/links.html", html);
    PlanRowValues spec;
    spec.url = server.url("/dir/links.html");
    spec.regular = "<li><a href=\"([^\"]+)\">(.*?)</a><i>(.*?)</i></li>";
    spec.buquan = "[1]";
    spec.uindex = "0";
    const int browser = addPlan(spec), asTemplate = addPlan(spec);
    ASSERT_TRUE(setComposesBrowserLinks(db, browser, true).ok());
    monitoring->planRunner().runPlan(browser);
    monitoring->planRunner().runPlan(asTemplate);
    auto links = [&](int id) {
        std::set<std::string> out;
        for (const auto& row : db.run(Statement("select url from info where planid=?", {id})).rows)
            out.insert(row[0]);
        return out;
    };
    const std::string origin = server.url("");
    EXPECT_EQ(links(browser), (std::set<std::string>{origin + "/forum/view.php?tid=7&x=1",
                                                     "https://other.example/s/8", origin + "/t/9"}));
    EXPECT_EQ(links(asTemplate),
              (std::set<std::string>{"view.php?tid=7&amp;x=1", "https://other.example/s/8", "../t/9"}));
}

TEST_F(PlanRunnerRounds, CookiesCarryFromRunToRun) {
    PlanRowValues spec;
    spec.url = server.url("/cookie-list.html");
    spec.cookie = "uid=7";
    int id = addPlan(spec);
    setPage("/cookie-list.html", listPage(items({1}), false));
    monitoring->planRunner().runPlan(id);
    monitoring->planRunner().runPlan(id);
    ASSERT_EQ(cookiesSeen.size(), 2u);
    EXPECT_EQ(cookiesSeen[0], "uid=7");
    EXPECT_EQ(cookiesSeen[1], "sess=abc; uid=7");
    EXPECT_EQ((*monitoring->planTable().row(id))[kRuleCookie], "sess=abc; uid=7");
}

TEST_F(PlanRunnerRounds, FailuresWriteNothing) {
    struct Case {
        const char* name;
        std::string url;
        std::string regular;
        std::string expectInTrace;
    } cases[] = {
        {"unreachable site", "http://127.0.0.1:1/list.html", PlanRowValues().regular,
         "截取源码为空，可能是 无新文章、采集区域设置、源站无法访问 等原因！"},
        {"404 page without markers", server.url("/gone.html"), PlanRowValues().regular, "截取源码为空"},
        {"expression that does not compile", server.url("/ok.html"), "(unclosed", "正则表达式无法使用："},
    };
    setPage("/ok.html", listPage(items({1}), false));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.replaceAll("");
        PlanRowValues spec;
        spec.url = c.url;
        spec.regular = c.regular;
        int id = addPlan(spec);
        monitoring->planRunner().runPlan(id);
        EXPECT_EQ(articleCount(), 0);
        EXPECT_NE(sink.utf8().find(c.expectInTrace), std::string::npos) << sink.utf8();
        EXPECT_EQ(db.run(Statement("select arttile from rule where id=?", {id})).rows[0][0], "");
    }
    EXPECT_NE(sink.utf8().find(" 取到 0 篇新文章\r\n任务"), std::string::npos);
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
}

TEST_F(PlanRunnerRounds, PlansThatCannotRunAreSkippedWithTheReason) {
    setPage("/fine.html", listPage(items({2, 1}), false));
    struct Case {
        const char* name;
        std::function<void(PlanRowValues&)> change;
        const char* reason;
    } cases[] = {
        {"title group above the group count", [](PlanRowValues& p) { p.tindex = "5"; },
         "标题索引 5 不是正则的分组（共 3 组）"},
        {"negative title group", [](PlanRowValues& p) { p.tindex = "-1"; }, "标题索引 -1 不是正则的分组"},
        {"id group above the count, comparing ids",
         [](PlanRowValues& p) {
             p.type = "8";
             p.uindex = "9";
         },
         "文章id索引 9 不是正则的分组"},
        {"empty expression", [](PlanRowValues& p) { p.regular = ""; }, "正则匹配规则为空"},
        {"local file", [](PlanRowValues& p) { p.url = "file:///etc/hostname"; },
         "只能访问 http:// 或 https://"},
        {"line break in the user agent", [](PlanRowValues& p) { p.ua = "x\r\nHost: evil.example"; },
         "监控网址、COOKIE 或 模拟浏览 中有换行符"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.replaceAll("");
        const std::size_t visits = cookiesSeen.size();
        PlanRowValues spec;
        spec.url = server.url("/fine.html");
        c.change(spec);
        int id = addPlan(spec);
        monitoring->planRunner().runPlan(id);
        EXPECT_EQ(articleCount(), 0);
        EXPECT_EQ(cookiesSeen.size(), visits);  // nothing was fetched
        const std::string expected = "\r\n方案" + std::to_string(id) + " 不能运行：" + c.reason;
        EXPECT_NE(sink.utf8().find(expected), std::string::npos) << sink.utf8();
        EXPECT_NE(sink.utf8().find("\r\n任务" + std::to_string(id) + "已结束"), std::string::npos);
    }
    // The id group only matters when comparing ids.
    PlanRowValues timeMode;
    timeMode.url = server.url("/fine.html");
    timeMode.uindex = "9";
    monitoring->planRunner().runPlan(addPlan(timeMode));
    EXPECT_EQ(articleCount(), 2);
}

TEST_F(PlanRunnerRounds, MatchingThatOutrunsItsBudgetStoresNothing) {
    Items many;
    for (int i = 30000; i >= 1; --i) many.emplace_back(i, "t" + std::to_string(i));
    setPage("/huge.html", listPage(many, false));
    PlanRowValues spec;
    spec.url = server.url("/huge.html");
    int id = addPlan(spec);
    monitoring->planRunner().setMatchBudget(std::chrono::milliseconds(1));
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(articleCount(), 0);
    EXPECT_NE(sink.utf8().find("秒仍未完成，已停止，本次不保存文章！"), std::string::npos);
    EXPECT_EQ(db.run(Statement("select arttile from rule where id=?", {id})).rows[0][0], "");
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
}

TEST_F(PlanRunnerRounds, PlanIdsOutsideTheTableAreSkipped) {
    monitoring->planRunner().runPlan(201);
    monitoring->planRunner().runPlan(0);
    monitoring->planRunner().runPlan(4294967297LL);
    EXPECT_NE(sink.utf8().find("方案 201 的编号不在 1-200 之内，已跳过！"), std::string::npos);
    EXPECT_NE(sink.utf8().find("方案 4294967297 的编号不在"), std::string::npos);
    EXPECT_EQ(articleCount(), 0);
}

TEST_F(PlanRunnerRounds, CommitFailureKeepsArticlesForTheNextRun) {
    PlanRowValues spec;
    spec.url = server.url("/locked.html");
    int id = addPlan(spec);
    setPage("/locked.html", listPage(items({2, 1}), false));
    // Another connection holds the write lock longer than the busy timeout allows.
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    monitoring->planRunner().runPlan(id);
    other.runScript("ROLLBACK");
    EXPECT_EQ(articleCount(), 0);
    EXPECT_NE(sink.utf8().find("\r\n保存失败（database is locked），本次的文章都未保存，下次提取时重试！"),
              std::string::npos)
        << sink.utf8();
    // Nothing was marked as seen, so the next run stores both.
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(titles(id), titlesOf({2, 1}));
}

}  // namespace
}  // namespace tovi
