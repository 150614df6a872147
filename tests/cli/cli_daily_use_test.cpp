// What a user meets watching real boards from a terminal or cron.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <thread>

#include "cli/CliRunner.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::runCli;

// A board page whose rows are served as given (UTF-8 text, sent as GBK).
struct Board {
    Board() {
        server.server().Get("/board.html", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard g(m);
            res.set_content(page, "text/html; charset=gbk");
        });
        server.start();
    }
    // Rows of (id, title), top to bottom.
    void setRows(const std::vector<std::pair<int, std::string>>& rows) {
        std::string html = "<ul>";
        for (const auto& [id, title] : rows)
            html += "<li><a href=\"t-" + std::to_string(id) + "\">" + title + "</a></li>";
        std::lock_guard g(m);
        page = gbk(html + "</ul>");
    }
    std::string planSql(const char* type) const {
        return "insert into "
               "rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
               "lastid,type) values(1,'1','论坛','" +
               server.url("/board.html") + "','UA','" + server.url("/t-[1]") +
               "','<li><a href=\"t-(\\d+)\">(.*?)</a></li>','<ul>','</ul>','2','1','0',1,'','" + type + "')";
    }
    std::mutex m;
    std::string page;
    test::HttpTestServer server;  // last: its handlers use the members above
};

std::string storedCount(const std::filesystem::path& dir) {
    return runCli(dir, {"sql", "select count(*) || '/' || count(distinct title||'|'||url) from info"}).out;
}

// Rows that stay on top (a board's pinned threads) hold a newest-first plan's marker; the new
// threads arrive below them and are found once each, and the pinned rows are never stored again.
TEST(CliDailyUse, NewThreadsBelowPinnedRowsAreFoundOnceEach) {
    test::TempDir dir;
    Board board;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("0")}).code, 0);
    const std::pair<int, std::string> rules{1, "版规"}, notice{2, "公告"};
    auto thread = [](int id) { return std::pair<int, std::string>{id, "帖子" + std::to_string(id)}; };
    struct Round {
        const char* what;
        std::vector<std::pair<int, std::string>> rows;
        int stored;
    } rounds[] = {
        {"first visit", {rules, notice, thread(12), thread(11), thread(10)}, 5},
        {"one new below the pinned", {rules, notice, thread(13), thread(12), thread(11)}, 1},
        {"two new", {rules, notice, thread(15), thread(14), thread(13), thread(12)}, 2},
        {"nothing new", {rules, notice, thread(15), thread(14), thread(13)}, 0},
        {"a pin lifted", {rules, thread(16), thread(15), thread(14)}, 1},
        {"a new pin and a new thread", {{3, "新公告"}, rules, thread(17), thread(16)}, 2},
        {"after the new pin", {{3, "新公告"}, rules, thread(18), thread(17), thread(16)}, 1},
    };
    int total = 0;
    for (const Round& r : rounds) {
        SCOPED_TRACE(r.what);
        board.setRows(r.rows);
        auto run = runCli(dir.path(), {"run", "-v"});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.out.find("取到 " + std::to_string(r.stored) + " 篇新文章"), std::string::npos)
            << run.out;
        total += r.stored;
        const std::string t = std::to_string(total);
        EXPECT_NE(storedCount(dir.path()).find(t + "/" + t), std::string::npos) << storedCount(dir.path());
    }
}

// For cron mail and terminals: which articles are new, under their plan's line; plans with
// nothing new only on request; failures always; or the whole pass as one JSON document.
TEST(CliDailyUse, RunSaysWhichArticlesAreNew) {
    test::TempDir dir;
    Board board;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("8")}).code, 0);  // 1: by article id
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("8")}).code, 0);  // 2: stays quiet
    const std::string gone = "update rule set url='" + board.server.url("/gone.html") + "' where id=3";
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("8")}).code, 0);  // 3: fails
    ASSERT_EQ(runCli(dir.path(), {"sql", gone}).code, 0);
    board.setRows({{1, "旧帖"}});
    ASSERT_EQ(runCli(dir.path(), {"run"}).code, 0);
    board.setRows({{3, "新帖 &amp; 回复"}, {2, "另一篇"}, {1, "旧帖"}});
    ASSERT_EQ(runCli(dir.path(), {"run", "--plan", "2"}).code, 0);  // plan 2 has seen them
    const std::string url3 = board.server.url("/t-3"), url2 = board.server.url("/t-2");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> shown, hidden;
    } cases[] = {
        {{},
         {"方案 1 论坛：取到 2 篇新文章\n  新帖 & 回复  " + url3 + "\n  另一篇  " + url2 + "\n",
          "方案 3 论坛：", "共 3 个方案，保存 2 篇新文章，1 个失败"},
         {"方案 2 "}},
        {{"-v"}, {"方案 1 论坛：取到 2 篇新文章", "方案 2 论坛：取到 0 篇新文章", "方案 3 论坛："}, {}},
        {{"--quiet"}, {"方案 3 论坛："}, {"方案 1 ", "方案 2 ", "共 3 个方案", url3}},
        {{"--format", "json"},
         {"\"plan\": 1", "\"title\": \"新帖 & 回复\"", "\"url\": \"" + url3 + "\"", "\"failed\": true",
          "\"stored\": 2"},
         {"共 3 个方案"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "default" : c.args[0]);
        // The same new articles each time: the plans forget them first.
        ASSERT_EQ(runCli(dir.path(), {"sql", "delete from info where planid=1 and url<>'" +
                                                 board.server.url("/t-1") + "'"})
                      .code,
                  0);
        ASSERT_EQ(runCli(dir.path(), {"sql", "update rule set lastid=1 where id=1"}).code, 0);
        std::vector<std::string> args = {"run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto run = runCli(dir.path(), args);
        EXPECT_EQ(run.code, 0) << run.err;
        for (const std::string& text : c.shown)
            EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
        for (const std::string& text : c.hidden)
            EXPECT_EQ(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
}

// A reader subscribed to a plan's feed gets a feed from the first pass on, even when the plan
// found nothing new; a plan that never ran has none.
TEST(CliDailyUse, FeedsAreWrittenOnTheFirstPassForPlansThatRan) {
    test::TempDir dir;
    Board board;
    board.setRows({{1, "旧帖"}});
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("0")}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("0")}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"plan", "untick", "2"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"run"}).code, 0);  // plan 1 stores its article, without feeds
    const auto feeds = dir / "feeds";
    ASSERT_EQ(runCli(dir.path(), {"run", "--feed-dir", feeds.string()}).code, 0);  // nothing new
    EXPECT_TRUE(std::filesystem::exists(feeds / "all.xml"));
    EXPECT_NE(test::readFile(feeds / "plan-1.xml").find("旧帖"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(feeds / "plan-2.xml"));
}

// Discuz-style boards write their links with &amp;: the stored link stays as the page wrote it (its
// identity), but whatever opens or publishes it gives the address a browser follows.
TEST(CliDailyUse, LinksWithCharacterReferencesArePublishedAsABrowserFollowsThem) {
    test::TempDir dir;
    std::mutex m;
    test::HttpTestServer server;
    server.server().Get("/forum.php", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<ul><li><a href=\"forum.php?mod=viewthread&amp;tid=100050&amp;extra=page%3D1\">Tom &amp; "
            "Jerry</a></li></ul>",
            "text/html; charset=gbk");
    });
    server.start();
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    const std::string insert =
        "insert into rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
        "lastid,type) values(1,'1','dz','" +
        server.url("/forum.php") + "','UA','" + server.url("/[1]") +
        "','<li><a href=\"(.*?)\">(.*?)</a></li>','<ul>','</ul>','2','0','3',1,'','0')";
    ASSERT_EQ(runCli(dir.path(), {"sql", insert}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"run", "--pause-ms", "0"}).code, 0);
    const std::string followed = server.url("/forum.php?mod=viewthread&tid=100050&extra=page%3D1");
    // Stored as written: the article's identity does not change.
    EXPECT_NE(runCli(dir.path(), {"sql", "select url from info"}).out.find("viewthread&amp;tid=100050"),
              std::string::npos);
    struct Output {
        std::vector<std::string> args;
        std::string expected;
    } outputs[] = {
        {{"articles", "--format", "json"}, "\"url\": \"" + followed + "\""},
        {{"articles", "--format", "tsv"}, "\t" + followed + "\t"},
        {{"articles"}, followed},
        {{"feed"},
         "<link href=\"" + server.url("/forum.php?mod=viewthread&amp;tid=100050&amp;extra=page%3D1") +
             "\"/>"},
    };
    for (const Output& o : outputs) {
        SCOPED_TRACE(o.args[0] + (o.args.size() > 1 ? " " + o.args.back() : ""));
        auto shown = runCli(dir.path(), o.args);
        EXPECT_EQ(shown.code, 0);
        EXPECT_NE(shown.out.find(o.expected), std::string::npos) << shown.out;
        EXPECT_EQ(shown.out.find("amp;amp;"), std::string::npos) << shown.out;
        EXPECT_EQ(shown.out.find("&amp;tid") != std::string::npos, o.args[0] == "feed") << shown.out;
    }
}

// A 频率 too large for the clocks waits the longest a wait can be (30 days) instead of nothing: the
// site is asked once, not hundreds of times a second.
TEST(CliDailyUse, AHugeFrequencyWaitsInsteadOfRacing) {
    test::TempDir dir;
    Board board;
    board.setRows({{1, "一"}});
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("0")}).code, 0);
    test::writeFile(dir.path() / "tovimo.ini", gbk("[配置]\r\n频率=9223372036\r\n"));
    const auto err = dir / "loop.err";
    const auto pid = dir / "loop.pid";
    const std::string loop = std::string("'") + TOVI_CLI_BINARY + "' --dir '" + dir.path().string() +
                             "' run --cycles 0 --pause-ms 0 >/dev/null 2>'" + err.string() +
                             "' & echo $! >'" + pid.string() + "'; wait";
    std::thread service([&] { (void)!std::system(loop.c_str()); });
    for (int i = 0; i < 200 && test::readFile(err).find("下一轮在") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string said = test::readFile(err);
    EXPECT_EQ(std::system(("kill -TERM $(cat '" + pid.string() + "')").c_str()), 0);
    service.join();
    EXPECT_NE(said.find("等待 2592000 秒"), std::string::npos) << said;
    EXPECT_EQ(board.server.requests().size(), 1u);
}

// The program itself with the environment given: its exit code and what it said.
struct Spawned {
    int code;
    std::string err;
};
Spawned spawnCli(const std::filesystem::path& dir, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment) {
    const auto errFile = dir / "spawned.err";
    std::vector<std::string> all = {TOVI_CLI_BINARY, "--dir", dir.string()};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        std::vector<char*> argv, envp;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = environment;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(errFile)};
}

// Chinese arguments from a GBK terminal are read in its charset; bytes that are no text in it
// are refused with the reason (exit 2), never stored as '?'.
TEST(CliDailyUse, ArgumentsAreReadInTheTerminalsCharset) {
    test::TempDir dir;
    Board board;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", board.planSql("0")}).code, 0);
    const std::string gbkName = gbk("论坛甲");
    struct Case {
        const char* what;
        std::vector<std::string> environment;
        std::string name;
        int code;
        const char* stored;  // the plan's name afterwards, as UTF-8
    } cases[] = {
        {"a GBK terminal", {"LANG=zh_CN.GBK"}, gbkName, 0, "论坛甲"},
        {"GB18030 by LC_ALL", {"LANG=en_US.UTF-8", "LC_ALL=zh_CN.GB18030"}, gbk("论坛乙"), 0, "论坛乙"},
        {"a UTF-8 terminal", {"LANG=C.UTF-8"}, "论坛丙", 0, "论坛丙"},
        {"GBK bytes in a UTF-8 terminal", {"LANG=C.UTF-8"}, gbkName, 2, "论坛丙"},
        {"bytes no GBK text", {"LANG=zh_CN.GBK"}, "\x81\x20x", 2, "论坛丙"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Spawned set = spawnCli(dir.path(), {"plan", "set", "1", "name", c.name}, c.environment);
        EXPECT_EQ(set.code, c.code) << set.err;
        if (c.code == 2) {
            EXPECT_NE(set.err.find("不是"), std::string::npos) << set.err;
        }
        const auto shown = runCli(dir.path(), {"sql", "select name from rule where id=1"}).out;
        EXPECT_NE(shown.find(c.stored), std::string::npos) << shown;
        EXPECT_EQ(shown.find('?'), std::string::npos) << shown;
    }
}

TEST(BrowserLink, ResolvesReferencesAndDropsWhatABrowserDrops) {
    const std::pair<std::string, std::string> cases[] = {
        {"a.php?x=1&amp;y=2", "a.php?x=1&y=2"},        {"a.php?x=1&#38;y=2&#x26;z=3", "a.php?x=1&y=2&z=3"},
        {"  http://h/a\r\n?b=1\t ", "http://h/a?b=1"}, {"a.php?copy=1&copyx=2", "a.php?copy=1&copyx=2"},
        {"a.php?q=&unknown;", "a.php?q=&unknown;"},    {"", ""},
    };
    for (const auto& [stored, followed] : cases) EXPECT_EQ(browserLink(stored), followed) << stored;
}

}  // namespace
}  // namespace tovi
