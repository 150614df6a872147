#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "cli/CliRunner.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::runCli;

TEST(CliMonitor, RunStoresExactlyTheNewArticlesRoundAfterRound) {
    test::TempDir dir;
    // What the handler reads is declared first, so it outlives the server's thread.
    std::string page;
    std::mutex m;
    test::HttpTestServer server;
    server.server().Get("/list.html", [&](const httplib::Request&, httplib::Response& res) {
        std::lock_guard g(m);
        res.set_content(page, "text/html; charset=gbk");
    });
    server.start();
    auto setItems = [&](std::vector<int> ids) {
        std::string html = "<ul>";
        for (int id : ids)
            html += "<li><a href=\"t-" + std::to_string(id) + "\">文章" + std::to_string(id) + "</a></li>";
        std::lock_guard g(m);
        page = gbk(html + "</ul>");
    };
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    std::string insert =
        "insert into "
        "rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type) "
        "values(1,'1','演示','" +
        server.url("/list.html") + "','UA','" + server.url("/t-[1]") +
        "','<li><a href=\"t-(\\d+)\">(.*?)</a></li>','<ul>','</ul>','2','1','0',0,'','8')";
    ASSERT_EQ(runCli(dir.path(), {"sql", insert}).code, 0);

    // Nothing ticked and no --plan: the queue is empty, which is said, and that is no error.
    auto empty = runCli(dir.path(), {"run"});
    EXPECT_EQ(empty.code, 0);
    EXPECT_NE(empty.err.find("执行队列为空！"), std::string::npos);

    setItems({2, 1});
    auto first = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0"});
    EXPECT_EQ(first.code, 0) << first.err;
    // One line a plan and a summary; the full trace on request.
    // The plan's line, each new article under it, and a summary; the full trace on request.
    EXPECT_EQ(first.out, "方案 1 演示：取到 2 篇新文章\n  文章2  " + server.url("/t-2") + "\n  文章1  " +
                             server.url("/t-1") + "\n共 1 个方案，保存 2 篇新文章，0 个失败\n");
    setItems({4, 3, 2, 1});
    auto traced = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0", "--trace"});
    EXPECT_NE(traced.out.find("开始提取 方案1 的新文章"), std::string::npos) << traced.out;
    EXPECT_NE(traced.out.find(" 取到 2 篇新文章"), std::string::npos) << traced.out;
    auto again = runCli(dir.path(), {"run", "--plan", "1", "-v"});
    EXPECT_NE(again.out.find("方案 1 演示：取到 0 篇新文章\n"), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("请单击"), std::string::npos);
    // A hand-written 并发 that is no number is said, also without the trace, and the run goes on.
    test::writeFile(dir.path() / "tovimo.ini", gbk("[配置]\r\n并发=abc\r\n"));
    auto wrongSetting = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0"});
    EXPECT_EQ(wrongSetting.code, 0);
    EXPECT_NE(wrongSetting.err.find("并发 设置有误（abc），按 16 个同时获取"), std::string::npos)
        << wrongSetting.err;
    std::filesystem::remove(dir.path() / "tovimo.ini");

    auto tsv = runCli(dir.path(), {"articles", "--plan", "1", "--format", "tsv"});
    EXPECT_EQ(tsv.code, 0);
    EXPECT_NE(tsv.out.find("id\tplanname\ttitle\turl\taddtime\tissoucang\tother\n"), std::string::npos);
    EXPECT_NE(tsv.out.find("\t演示\t文章4\t" + server.url("/t-4")), std::string::npos) << tsv.out;
    std::size_t lines = std::count(tsv.out.begin(), tsv.out.end(), '\n');
    EXPECT_EQ(lines, 5u);  // header + 4 articles, none twice

    auto search = runCli(dir.path(), {"articles", "--search", "文章3", "--format", "json"});
    EXPECT_NE(search.out.find("\"title\": \"文章3\""), std::string::npos) << search.out;
    EXPECT_EQ(runCli(dir.path(), {"favourite", "1", "on"}).code, 0);
    EXPECT_NE(runCli(dir.path(), {"articles", "--favourites"}).out.find("第 1 页，1 篇文章"),
              std::string::npos);

    auto plans = runCli(dir.path(), {"plans"});
    EXPECT_NE(plans.out.find("演示"), std::string::npos);
    auto tested = runCli(dir.path(), {"test", "--plan", "1"});
    EXPECT_EQ(tested.code, 0);
    EXPECT_NE(tested.out.find("成功取到　4条文章！"), std::string::npos) << tested.out;
}

TEST(CliMonitor, BadArguments) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    struct Case {
        std::vector<std::string> args;
    } cases[] = {{{"run", "--plan", "99"}},
                 {{"run", "--plan"}},
                 {{"run", "--cycles", "-1"}},
                 {{"run", "--cycles", "3", "--every", "5"}},
                 {{"run", "--cycles", "0", "--every", "9223372036"}},
                 {{"run", "--cycles", "0", "--every", "99999999999999999999"}},
                 {{"run", "--bogus"}},
                 {{"articles", "--page", "0"}},
                 {{"test"}},
                 {{"favourite", "x", "on"}},
                 {{"favourite", "999", "on"}},
                 {{"articles", "--plan", "99"}},
                 {{"feed", "--plan", "99"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        EXPECT_EQ(runCli(dir.path(), c.args).code, 2);
    }
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// A plan whose page of 300 articles answers slowly, so that runs overlap.
struct SlowSite {
    SlowSite() {
        server.server().Get("/list.html", [this](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::lock_guard g(m);
            res.set_content(page, "text/html; charset=gbk");
        });
        server.start();
    }
    void setItems(int newest, int count) {
        std::string html = "<ul>";
        for (int id = newest; id > newest - count; --id)
            html += "<li><a href=\"t-" + std::to_string(id) + "\">文章" + std::to_string(id) + "</a></li>";
        std::lock_guard g(m);
        page = gbk(html + "</ul>");
    }
    std::string planSql(const char* type, int isdo) const {
        return "insert into "
               "rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
               "lastid,type) values(1,'1','演示','" +
               server.url("/list.html") + "','UA','" + server.url("/t-[1]") +
               "','<li><a href=\"t-(\\d+)\">(.*?)</a></li>','<ul>','</ul>','2','1','0'," +
               std::to_string(isdo) + ",'','" + type + "')";
    }
    std::mutex m;
    std::string page;
    test::HttpTestServer server;  // last: its handlers use the members above
};

TEST(CliMonitor, TwoProgramsRunningTheSamePlansStoreEachArticleOnce) {
    test::TempDir dir;
    SlowSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    // The page lists the newest first: a time-descending plan and an article-id plan watch it.
    for (const char* type : {"0", "8"}) ASSERT_EQ(runCli(dir.path(), {"sql", site.planSql(type, 1)}).code, 0);
    const std::string one = std::string("'") + TOVI_CLI_BINARY + "' --dir '" + dir.path().string() +
                            "' run --pause-ms 0 >/dev/null 2>&1";
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        site.setItems(round * 100 + 200, 300);  // 100 new articles each round
        ASSERT_EQ(std::system(("(" + one + ") & (" + one + ") & wait").c_str()), 0);
        auto count = runCli(
            dir.path(),
            {"sql", "select count(*) || '/' || count(distinct planid||'|'||title||'|'||url) from info"});
        const std::string total = std::to_string(2 * (200 + round * 100));
        EXPECT_NE(count.out.find("\n" + total + "/" + total + "\n"), std::string::npos) << count.out;
    }
}

TEST(CliMonitor, RunSaysSoAndFailsWhenArticlesCannotBeStored) {
    test::TempDir dir;
    SlowSite site;
    site.setItems(3, 3);
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", site.planSql("0", 1)}).code, 0);
    std::filesystem::permissions(dir / "tovi.sdb", std::filesystem::perms::owner_read);
    auto run = runCli(dir.path(), {"run", "--pause-ms", "0"});
    std::filesystem::permissions(dir / "tovi.sdb",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("文章保存失败：attempt to write a readonly database"), std::string::npos)
        << run.out;
    EXPECT_EQ(runCli(dir.path(), {"sql", "select count(*) from info"}).out.find("| 3"), std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {"run", "--pause-ms", "0"}).code, 0);
}

// A service runs for days: plans ticked or added meanwhile (here from another process) join the
// next cycle without a restart, and the wait between cycles is said.
TEST(CliMonitor, ACycleLoopTakesUpPlansEditedMeanwhile) {
    test::TempDir dir;
    SlowSite site;
    site.setItems(3, 3);
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", site.planSql("0", 1)}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", site.planSql("8", 0)}).code, 0);
    const auto out = dir / "loop.out";
    const auto err = dir / "loop.err";
    const std::string loop = std::string("'") + TOVI_CLI_BINARY + "' --dir '" + dir.path().string() +
                             "' run --cycles 2 --every 10 --pause-ms 0 >'" + out.string() + "' 2>'" +
                             err.string() + "'";
    std::thread service([&] { (void)!std::system(loop.c_str()); });
    // Once the first cycle is over, plan 2 is ticked.
    for (int i = 0; i < 200 && test::readFile(err).find("下一轮在") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(runCli(dir.path(), {"plan", "tick", "2"}).code, 0);
    service.join();
    const std::string printed = test::readFile(out);
    EXPECT_NE(printed.find("共 1 个方案，保存 3 篇新文章"), std::string::npos) << printed;
    EXPECT_NE(printed.find("方案 2 演示：取到 3 篇新文章"), std::string::npos) << printed;
    EXPECT_NE(printed.find("共 2 个方案，保存 3 篇新文章"), std::string::npos) << printed;
    const std::string said = test::readFile(err);
    EXPECT_NE(said.find("等待 10 秒，下一轮在 "), std::string::npos) << said;
    EXPECT_NE(said.find("第 2 轮开始"), std::string::npos) << said;
}

// A run from cron is a new process each time: what a visit learnt (the page's validators, the
// site's request to wait) is kept in tovi.sdb for the next one.
TEST(CliMonitor, TheNextProcessAsksWhetherThePageChangedAndWaitsWhenTold) {
    test::TempDir dir;
    std::mutex m;
    // path: If-None-Match | If-Modified-Since of each request; the two plans are fetched side
    // by side, so their requests arrive in either order
    std::vector<std::string> asked;
    int busyFor = 0;  // Retry-After seconds the site answers with; 0: the page
    const std::string page = gbk("<ul><li><a href=\"t-2\">二</a></li><li><a href=\"t-1\">一</a></li></ul>");
    test::HttpTestServer server;
    server.server().Get("/etag.html", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(m);
        asked.push_back("etag: " + req.get_header_value("If-None-Match") + "|" +
                        req.get_header_value("If-Modified-Since"));
        if (busyFor) {
            res.status = 503;
            res.set_header("Retry-After", std::to_string(busyFor));
            return;
        }
        if (req.get_header_value("If-None-Match") == "\"v1\"") {
            res.status = 304;
            return;
        }
        res.set_header("ETag", "\"v1\"");
        res.set_content(page, "text/html; charset=gbk");
    });
    server.server().Get("/plain.html", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(m);
        asked.push_back("plain: " + req.get_header_value("If-None-Match") + "|" +
                        req.get_header_value("If-Modified-Since"));
        res.set_content(page, "text/html; charset=gbk");
    });
    server.start();
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    for (const char* path : {"/etag.html", "/plain.html"}) {
        const std::string insert =
            "insert into "
            "rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type) "
            "values(1,'1','p','" +
            server.url(path) +
            "','UA','x/[1]','<li><a href=\"t-(\\d+)\">(.*?)</a></li>',"
            "'<ul>','</ul>','2','1','0',1,'','0')";
        ASSERT_EQ(runCli(dir.path(), {"sql", insert}).code, 0);
    }
    const std::vector<std::string> run = {"run", "--pause-ms", "0", "--trace"};
    ASSERT_EQ(runCli(dir.path(), run).code, 0);
    auto second = runCli(dir.path(), run);
    EXPECT_NE(second.out.find("源码未变化（HTTP 304）"), std::string::npos) << second.out;
    {
        std::lock_guard g(m);
        ASSERT_EQ(asked.size(), 4u);
        std::vector<std::string> secondRun(asked.begin() + 2, asked.end());
        std::sort(secondRun.begin(), secondRun.end());
        EXPECT_EQ(secondRun[0], "etag: \"v1\"|");  // the ETag it was given
        // no validator from that site, so it asks nothing: the page comes whole
        EXPECT_EQ(secondRun[1], "plain: |");
        busyFor = 999999999;  // far in the future
    }
    auto busy = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0", "--trace"});
    EXPECT_NE(busy.out.find("最多等 24 小时"), std::string::npos) << busy.out;
    // The next process does not ask at all: the site is left alone.
    auto held = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0", "--trace"});
    EXPECT_NE(held.out.find("网站要求稍后再访问"), std::string::npos) << held.out;
    std::lock_guard g(m);
    EXPECT_EQ(asked.size(), 5u);
}

}  // namespace
}  // namespace tovi
