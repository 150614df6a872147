// The command line as a user on a server meets it: help everywhere, clear refusals, plans and
// rules without SQL, safe output, feeds, signals, and where the files live.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "cli/CliRunner.h"
#include "core/net/Browser.h"
#include "core/store/Database.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

#ifdef TOVI_HAVE_QT_XML
#include <QXmlStreamReader>
#endif

extern char** environ;

namespace tovi {
namespace {

using test::runCli;

TEST(CliHeadless, EveryCommandHasHelp) {
    test::TempDir dir;
    const std::vector<std::vector<std::string>> commands = {{},
                                                            {"init"},
                                                            {"sql"},
                                                            {"settings"},
                                                            {"settings", "get"},
                                                            {"settings", "set"},
                                                            {"plans"},
                                                            {"plan"},
                                                            {"plan", "add"},
                                                            {"plan", "suggest"},
                                                            {"plan", "show"},
                                                            {"plan", "set"},
                                                            {"plan", "tick"},
                                                            {"plan", "untick"},
                                                            {"plan", "remove"},
                                                            {"plan", "export"},
                                                            {"plan", "import"},
                                                            {"rules"},
                                                            {"rules", "set"},
                                                            {"rules", "show"},
                                                            {"rules", "clear"},
                                                            {"run"},
                                                            {"test"},
                                                            {"articles"},
                                                            {"favourite"},
                                                            {"feed"},
                                                            {"push"},
                                                            {"push", "add"},
                                                            {"push", "list"},
                                                            {"push", "test"},
                                                            {"push", "remove"},
                                                            {"push", "flush"}};
    for (auto args : commands) {
        args.push_back("--help");
        SCOPED_TRACE(args.front());
        auto r = runCli(dir.path(), args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("Usage:"), std::string::npos);
    }
    auto version = runCli(dir.path(), {"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "tovidesk-cli 2.13\n");
}

TEST(CliHeadless, BadValuesAreRefusedWithTheReason) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"articles", "--page", "0"}, "pages go from 1 to N, not 0"},
        {{"articles", "--page", "-1"}, "pages go from 1 to N, not -1"},
        {{"articles", "--format", "xml"}, "--format"},
        {{"articles", "--plan", "1", "--favourites"}, "excludes"},
        {{"run", "--plan", "201"}, "plan ids go from 1 to 200, not 201"},
        {{"run", "--plan", "5"}, "没有方案 5"},
        {{"run", "--cycles", "3", "--every", "5"}, "监控频率不能低于 10 秒"},  // readable, not GBK bytes
        {{"run", "--parallel", "0"}, "--parallel"},
        {{"plan", "set", "1", "colour", "red"}, "colour"},
        {{"favourite", "x", "on"}, "article: a whole number from 1 on is needed, not x"},
        {{"feed", "--limit", "0"}, "--limit"},
        {{"bogus"}, "bogus"},
        {{"plan", "add", "--name", "x"}, "plan add 需要 --name、--url 和 --expr（或 --suggest 网址）"},
        {{"plan", "add", "--name", "x", "--url", "bbs.example.com/list", "--expr", "(x)"},
         "要以 http:// 或 https:// 开头"},
        {{"plan", "add", "--suggest", "http://127.0.0.1:9/", "--expr", "x"}, "excludes"},
        {{"plan", "add", "--pick", "2", "--name", "x"}, "--pick requires --suggest"},
        {{"plan", "suggest", "http://127.0.0.1:9/", "--format", "xml"}, "--format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        auto r = runCli(dir.path(), c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

// A list page whose markers need a double quote, with Chinese titles and quotes.
struct ListSite {
    ListSite() {
        server.server().Get("/list.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(gbk("<div class=\"list\"><li><a href=\"t-2.html\">第二篇 'x'</a></li>"
                                "<li><a href=\"t-1.html\">第一篇</a></li></div>"),
                            "text/html");
        });
        server.start();
    }
    test::HttpTestServer server;
};

TEST(CliHeadless, PlansWithoutSqlRoundTrip) {
    test::TempDir dir;
    ListSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"settings", "set", "类别", "<论坛><新闻>"}).code, 0);
    const std::string url = site.server.url("/list.html");
    const std::vector<std::string> add = {"plan",           "add",
                                          "--name",         "演示 'O'Neil' 论坛",
                                          "--url",          url,
                                          "--expr",         "<a href=\"t-(\\d+)\\.html\">(.*?)</a>",
                                          "--before",       "class=#引号list#引号>",
                                          "--after",        "</div>",
                                          "--mode",         "id",
                                          "--title-group",  "2",
                                          "--url-template", url + "/../t-[1].html",
                                          "--category",     "新闻"};
    auto added = runCli(dir.path(), add);
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_NE(added.out.find("新方案 1 已保存"), std::string::npos) << added.out;
    auto shown = runCli(dir.path(), {"plan", "show", "1"});
    EXPECT_NE(shown.out.find("演示 'O'Neil' 论坛"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("新闻"), std::string::npos);
    const auto idGroup = shown.out.find("id-group ");
    ASSERT_NE(idGroup, std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.substr(shown.out.find('|', idGroup), 4), "| 1\n") << shown.out;

    // A plan whose test finds nothing is not saved, unless forced.
    auto nothing = add;
    nothing[5] = site.server.url("/missing.html");
    EXPECT_EQ(runCli(dir.path(), nothing).code, 1);
    nothing.push_back("--force");
    EXPECT_EQ(runCli(dir.path(), nothing).code, 0);
    EXPECT_EQ(runCli(dir.path(), {"plan", "remove", "2"}).code, 0);

    EXPECT_EQ(runCli(dir.path(), {"plan", "set", "1", "mode", "desc"}).code, 0);
    EXPECT_EQ(runCli(dir.path(), {"plan", "set", "1", "mode", "sideways"}).code, 2);
    // A change that would leave a plan that cannot run is refused, and nothing changes.
    const std::string shownBefore = runCli(dir.path(), {"plan", "show", "1"}).out;
    struct Refused {
        const char* field;
        const char* value;
        const char* reason;
    } refused[] = {
        {"expr", "<a href=(", "正则匹配规则有误"},
        {"expr", "", "正则匹配规则为空"},
        {"title-group", "7", "标题索引 7 不是正则的分组"},
        {"url", "file:///etc/passwd", "http"},
        {"url", "ftp://example.com/", "http"},
        {"url", "bbs.example.com/list", "要以 http:// 或 https:// 开头"},
        {"cookie", "a=1\r\nHost: evil", "换行符"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(std::string(r.field) + "=" + r.value);
        auto set = runCli(dir.path(), {"plan", "set", "1", r.field, r.value});
        EXPECT_EQ(set.code, 2);
        EXPECT_NE(set.err.find(r.reason), std::string::npos) << set.err;
    }
    EXPECT_EQ(runCli(dir.path(), {"plan", "show", "1"}).out, shownBefore);
    // --force passes over a test that found nothing, never over a plan that cannot run; an
    // expression that does not compile is a wrong argument, as for plan set.
    auto broken = add;
    broken[7] = "标题(unclosed";
    for (bool force : {false, true}) {
        if (force) broken.push_back("--force");
        auto refused = runCli(dir.path(), broken);
        EXPECT_EQ(refused.code, 2);
        EXPECT_NE(refused.err.find("missing closing parenthesis (at 11)"), std::string::npos) << refused.err;
    }
    broken = add;
    broken[5] = "file:///etc/passwd";
    broken.push_back("--force");
    EXPECT_EQ(runCli(dir.path(), broken).code, 2);
    EXPECT_EQ(runCli(dir.path(), {"plan", "tick", "1"}).code, 0);
    EXPECT_NE(runCli(dir.path(), {"plans"}).out.find("| yes"), std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {"plan", "untick", "1"}).code, 0);

    // Export, import into another program directory: the same plan, texts exactly.
    auto exported = runCli(dir.path(), {"plan", "export", "1"});
    ASSERT_EQ(exported.code, 0);
    test::TempDir other;
    test::writeFile(other / "plans.sql", exported.out);
    ASSERT_EQ(runCli(other.path(), {"init"}).code, 0);
    auto imported = runCli(other.path(), {"plan", "import", (other / "plans.sql").string()});
    ASSERT_EQ(imported.code, 0) << imported.err;
    Database a, b;
    ASSERT_TRUE(a.open(dir / "tovi.sdb"));
    ASSERT_TRUE(b.open(other / "tovi.sdb"));
    const char* fields =
        "select name, url, regular, before, after, buquan, tindex, uindex, type, class from rule";
    EXPECT_EQ(a.run(fields).rows, b.run(fields).rows);
    // Again: the plan is there already and is skipped, unless asked for.
    auto again = runCli(other.path(), {"plan", "import", (other / "plans.sql").string()});
    EXPECT_EQ(again.code, 0);
    EXPECT_NE(again.err.find("已有同名同网址的方案，跳过"), std::string::npos) << again.err;
    EXPECT_EQ(b.run("select count(*) from rule").rows[0][0], "1");
    EXPECT_EQ(runCli(other.path(), {"plan", "import", "--duplicate", (other / "plans.sql").string()}).code,
              0);
    EXPECT_EQ(b.run("select count(*) from rule").rows[0][0], "2");
    // The export runs in the console as it is, header and all.
    EXPECT_EQ(runCli(other.path(), {"sql", exported.out}).code, 0);
    EXPECT_EQ(b.run("select count(*) from rule").rows[0][0], "3");
}

TEST(CliHeadless, RulesAndPlanHealthWithoutTheWindow) {
    test::TempDir dir;
    ListSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"plan", "add", "--name", "甲", "--url", site.server.url("/list.html"),
                                  "--expr", "<a href=\"t-(\\d+)\\.html\">(.*?)</a>", "--title-group", "2",
                                  "--before", "<div", "--after", "</div>"})
                  .code,
              0);
    ASSERT_EQ(runCli(dir.path(), {"plan", "add", "--force", "--name", "坏", "--url",
                                  site.server.url("/none.html"), "--expr", "(x)", "--url-template",
                                  "http://site/[1]", "--before", "<div", "--after", "</div>"})
                  .code,
              0);
    ASSERT_EQ(runCli(dir.path(), {"rules", "set", "--include", "第二篇", "--action", "store"}).code, 0);
    auto shown = runCli(dir.path(), {"rules", "show", "--plan", "1"});
    EXPECT_NE(shown.out.find("plan 1 (those for every plan)"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("第二篇"), std::string::npos);
    for (int i = 0; i < 3; ++i) runCli(dir.path(), {"run", "--plan", "1", "--plan", "2", "--pause-ms", "0"});
    auto articles = runCli(dir.path(), {"articles", "--format", "tsv"});
    EXPECT_NE(articles.out.find("第二篇"), std::string::npos);
    EXPECT_EQ(articles.out.find("第一篇"), std::string::npos);  // kept out by the rule
    auto plans = runCli(dir.path(), {"plans", "--format", "json"});
    ASSERT_EQ(plans.code, 0);
    EXPECT_NE(plans.out.find("\"id\": 2"), std::string::npos) << plans.out;
    EXPECT_NE(plans.out.find("\"failures\": 3"), std::string::npos) << plans.out;
    EXPECT_NE(plans.out.find("\"last_outcome\": \"无法获取页面：HTTP 404"), std::string::npos) << plans.out;
    EXPECT_NE(plans.out.find("\"ticked\": false"), std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {"rules", "clear"}).code, 0);
    EXPECT_NE(runCli(dir.path(), {"rules", "show"}).out.find("(off)"), std::string::npos);
}

TEST(CliHeadless, PageTextNeverDrivesTheTerminal) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    Database db;
    ASSERT_TRUE(db.open(dir / "tovi.sdb"));
    const std::string evil =
        "x\x1b]0;pwned\x07\x1b[2J\x7f" + gbk("标题") + "\xc2\x85";  // C1 as UTF-8 bytes too
    db.run(
        Statement("insert into info(planname,planid,title,url,other,addtime,issoucang) "
                  "values(?,1,?,?,'','12/9 7:05',0)",
                  {std::string("p"), evil, std::string("http://x/\x1b[2J")}));
    for (const char* format : {"table", "tsv"}) {
        SCOPED_TRACE(format);
        auto r = runCli(dir.path(), {"articles", "--format", format});
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
        EXPECT_EQ(r.out.find('\x07'), std::string::npos);
        EXPECT_NE(r.out.find("x\\x1B]0;pwned\\x07\\x1B[2J\\x7F标题"), std::string::npos) << r.out;
    }
    auto json = runCli(dir.path(), {"articles", "--format", "json"});
    EXPECT_EQ(json.out.find('\x1b'), std::string::npos);
    EXPECT_NE(json.out.find("\\u001b]0;pwned\\u0007"), std::string::npos) << json.out;
    // What is stored stays as it was.
    EXPECT_EQ(db.run("select title from info").rows[0][0], evil);
    // A bidi override would show the next columns reversed: it is written as an escape too.
    db.run(Statement("update info set title=?", {gbk("免费\u202Egnp.exe")}));
    for (const char* format : {"table", "tsv", "json"}) {
        SCOPED_TRACE(format);
        auto r = runCli(dir.path(), {"articles", "--format", format});
        EXPECT_EQ(r.out.find("\xe2\x80\xae"), std::string::npos);
        EXPECT_NE(asciiLower(r.out).find("\\u202e"), std::string::npos) << r.out;
    }
}

#ifdef TOVI_HAVE_QT_XML
TEST(CliHeadless, FeedsAreAtomThatAReaderParses) {
    test::TempDir dir;
    ListSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(
        runCli(dir.path(),
               {"plan", "add", "--name", "演示 & <论坛>", "--url", site.server.url("/list.html"), "--expr",
                "<a href=\"(t-\\d+\\.html)\">(.*?)</a>", "--title-group", "2", "--url-template",
                "http://example.com/[1]?a=1&b=2", "--before", "<div", "--after", "</div>"})
            .code,
        0);
    const auto feeds = dir / "feeds";
    ASSERT_EQ(
        runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0", "--feed-dir", feeds.string()}).code, 0);
    for (const std::string& file : {std::string("all.xml"), std::string("plan-1.xml")}) {
        SCOPED_TRACE(file);
        const std::string xml = test::readFile(feeds / file);
        QXmlStreamReader reader(QByteArray::fromStdString(xml));
        QStringList titles, links, categories;
        QString feedTitle;
        int depth = 0;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement()) {
                ++depth;
                if (reader.name() == QStringLiteral("title") && depth == 2)
                    feedTitle = reader.readElementText(), --depth;
                else if (reader.name() == QStringLiteral("title"))
                    titles << reader.readElementText(), --depth;
                else if (reader.name() == QStringLiteral("link"))
                    links << reader.attributes().value("href").toString();
                else if (reader.name() == QStringLiteral("category"))
                    categories << reader.attributes().value("term").toString();
            } else if (reader.isEndElement()) {
                --depth;
            }
        }
        ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
        EXPECT_EQ(titles, (QStringList{QStringLiteral("第二篇 'x'"), QStringLiteral("第一篇")}));
        EXPECT_EQ(links.first(), QStringLiteral("http://example.com/t-2.html?a=1&b=2"));
        EXPECT_EQ(categories.first(), QStringLiteral("演示 & <论坛>"));
    }
    auto out = runCli(dir.path(), {"feed", "--plan", "1", "--limit", "1"});
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(std::count(out.out.begin(), out.out.end(), '\n') > 0, true);
    EXPECT_EQ(QString::fromStdString(out.out).count(QStringLiteral("<entry>")), 1);
}
#endif

// Runs the program itself with extra environment; returns its pid.
pid_t spawnCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    std::vector<std::string> all = {TOVI_CLI_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    return test::spawnProgram(all, "/dev/null", env);
}

int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliHeadless, SignalsEndARunCleanlyWithTheConventionalCodes) {
    test::TempDir dir;
    ListSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(
        runCli(dir.path(), {"plan", "add", "--name", "甲", "--url", site.server.url("/list.html"), "--expr",
                            "<a href=\"t-(\\d+)\\.html\">(.*?)</a>", "--before", "<div", "--after", "</div>"})
            .code,
        0);
    for (const auto& [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        const std::size_t fetched = site.server.requests().size();
        pid_t pid =
            spawnCli({"--dir", dir.path().string(), "run", "--plan", "1", "--cycles", "0", "--every", "10"});
        // Ready once it has fetched its page: its signal handlers are in place by then.
        for (int i = 0; i < 1000 && site.server.requests().size() == fetched; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GT(site.server.requests().size(), fetched);
        ::kill(pid, signal);
        EXPECT_EQ(exitCode(pid), code);
    }
}

// The board the plan suggestions are tried on (the fixture of the core's tests).
struct BoardSite {
    BoardSite() {
        for (const char* file : {"forum.html", "nolist.html", "menus.html"}) {
            server.server().Get(
                std::string("/board/") + file, [file](const httplib::Request&, httplib::Response& res) {
                    res.set_content(test::readFile(std::filesystem::path(TOVI_SUGGEST_PAGES) / file),
                                    "text/html");
                });
        }
        server.start();
    }
    test::HttpTestServer server;
};

TEST(CliHeadless, PlansProposedFromAPageAreShownAndSaved) {
    test::TempDir dir;
    BoardSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"settings", "set", "类别", "<论坛><新闻>"}).code, 0);
    const std::string board = site.server.url("/board/forum.html");

    auto shown = runCli(dir.path(), {"plan", "suggest", board, "--format", "json"});
    ASSERT_EQ(shown.code, 0) << shown.err;
    // What it is doing goes to the error output, in order; the output stays pure JSON.
    const auto fetching = shown.err.find("正在获取页面：" + board + "…");
    const auto reading = shown.err.find("正在分析页面（");
    const auto proving = shown.err.find("个可能的列表，正在逐个验证…");
    EXPECT_NE(fetching, std::string::npos) << shown.err;
    EXPECT_LT(fetching, reading);
    EXPECT_LT(reading, proving);
    EXPECT_NE(proving, std::string::npos) << shown.err;
    const auto json = nlohmann::json::parse(shown.out);
    const auto& best = json.at("candidates").at(0);
    EXPECT_EQ(best.at("count"), 10);
    EXPECT_EQ(best.at("sample_titles").at(0), "版规：发帖前请先阅读本版规定");
    EXPECT_EQ(best.at("plan").at("mode"), "id");
    EXPECT_EQ(best.at("plan").at("url"), board);
    EXPECT_EQ(best.at("plan").at("name"), "技术交流 - 演示论坛");
    EXPECT_EQ(json.at("candidates").at(1).at("count"), 8);

    auto table = runCli(dir.path(), {"plan", "suggest", board});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("1. table#threadlist.tl > tbody > tr: 10 articles"), std::string::npos)
        << table.out;

    auto none = runCli(dir.path(), {"plan", "suggest", site.server.url("/board/nolist.html")});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("没有找到文章列表"), std::string::npos) << none.err;

    // The second proposal (the normal threads alone) saved under a name and category of our own.
    auto added = runCli(dir.path(), {"plan", "add", "--suggest", board, "--pick", "2", "--name", "普通帖",
                                     "--category", "新闻"});
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_NE(added.out.find("新方案 1 已保存：普通帖（成功取到　8条文章！）"), std::string::npos)
        << added.out;
    auto plan = runCli(dir.path(), {"plan", "show", "1"});
    EXPECT_NE(plan.out.find("normal"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("新闻"), std::string::npos);
    auto run = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0"});
    EXPECT_EQ(run.code, 0) << run.err;
    auto articles = runCli(dir.path(), {"articles", "--format", "tsv"});
    EXPECT_NE(articles.out.find("托盘图标在 GNOME 下不显示的解决办法"), std::string::npos) << articles.out;
    EXPECT_EQ(articles.out.find("版规"), std::string::npos);

    EXPECT_NE(plan.out.find("links"), std::string::npos);
    EXPECT_NE(plan.out.find("browser"), std::string::npos) << plan.out;

    auto tooFar = runCli(dir.path(), {"plan", "add", "--suggest", board, "--pick", "9"});
    EXPECT_EQ(tooFar.code, 2);
    EXPECT_NE(tooFar.err.find("--pick：页面只给出 2 个方案，没有第 9 个"), std::string::npos) << tooFar.err;
}

// A page of menus: the proposal says what it looks like, and is saved only when insisted on.
TEST(CliHeadless, AProposalThatLooksLikeAMenuIsNotSavedSilently) {
    test::TempDir dir;
    BoardSite site;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    const std::string menus = site.server.url("/board/menus.html");
    auto shown = runCli(dir.path(), {"plan", "suggest", menus});
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_NE(shown.out.find("注意：这个列表看起来像菜单、页脚或广告"), std::string::npos) << shown.out;

    auto refused = runCli(dir.path(), {"plan", "add", "--suggest", menus});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("方案没有保存：页面上最像文章列表的也不像文章列表"), std::string::npos)
        << refused.err;
    EXPECT_EQ(runCli(dir.path(), {"plan", "show", "1"}).code, 2);

    auto forced = runCli(dir.path(), {"plan", "add", "--suggest", menus, "--force"});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_NE(forced.out.find("新方案 1 已保存"), std::string::npos) << forced.out;
}

// A board whose list a script fills from a JSON request: plan add --suggest saves the plan over
// the request (no browser at run time), which stores the articles; a rendered plan shows its switch.
TEST(CliHeadless, APageBuiltByItsScriptGetsThePlanOverItsRequest) {
    if (!findChromium()) GTEST_SKIP() << "chromium is not installed";
    test::HttpTestServer site;
    site.server().Get("/board.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<html><head><title>JS board</title></head><body><div id='app'></div><script>"
            "fetch('/api/threads').then(r=>r.json()).then(d=>{document.getElementById('app').innerHTML="
            "'<ul>'+d.list.map(t=>'<li><a href=\"/t/'+t.tid+'\">'+t.subject+'</a></li>').join('')+"
            "'</ul>';});</script></body></html>",
            "text/html");
    });
    site.server().Get("/api/threads", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            R"({"list":[{"tid":31,"subject":"How to set up a printer"},)"
            R"({"tid":30,"subject":"Which laptop for travel"},{"tid":29,"subject":"Backups that work"}]})",
            "application/json");
    });
    site.start();
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    auto added = runCli(dir.path(), {"plan", "add", "--suggest", site.url("/board.html")});
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_NE(added.err.find("页面由脚本生成，已用浏览器渲染"), std::string::npos) << added.err;
    auto shown = runCli(dir.path(), {"plan", "show", "1"});
    EXPECT_NE(shown.out.find(site.url("/api/threads")), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("json            | yes"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("render          | no"), std::string::npos) << shown.out;
    ASSERT_EQ(runCli(dir.path(), {"run", "--plan", "1"}).code, 0);
    auto articles = runCli(dir.path(), {"articles", "--format", "tsv"});
    EXPECT_NE(articles.out.find("Which laptop for travel\t" + site.url("/t/30")), std::string::npos)
        << articles.out;

    ASSERT_EQ(runCli(dir.path(), {"plan", "set", "1", "render", "yes"}).code, 0);
    EXPECT_NE(runCli(dir.path(), {"plan", "show", "1"}).out.find("render          | yes"), std::string::npos);
    EXPECT_NE(runCli(dir.path(), {"plan", "export", "1"}).out.find("-- render=yes\n-- json=yes"),
              std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {"plan", "set", "1", "render", "maybe"}).code, 2);
}

TEST(CliHeadless, AnInstalledProgramKeepsItsFilesInTheUsersDataDirectory) {
    namespace fs = std::filesystem;
    test::TempDir root;
    fs::create_directories(root / "usr/bin");
    fs::create_directories(root / "usr/share/tovidesk");
    fs::copy_file(TOVI_CLI_BINARY, root / "usr/bin/tovidesk-cli");
    // The starter database an installed program ships.
    ASSERT_EQ(runCli(root / "usr/share/tovidesk", {"init"}).code, 0);
    fs::permissions(root / "usr/bin", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string xdg = "XDG_DATA_HOME=" + (root / "xdg").string();
    std::string cmd = "'" + (root / "usr/bin/tovidesk-cli").string() + "'";
    EXPECT_EQ(std::system(("env " + xdg + " " + cmd + " settings set 频率 60 >/dev/null").c_str()), 0);
    EXPECT_TRUE(fs::exists(root / "xdg/tovidesk/tovimo.ini"));
    EXPECT_TRUE(fs::exists(root / "xdg/tovidesk/tovi.sdb"));  // copied from the shipped one
    EXPECT_EQ(std::system(("env " + xdg + " " + cmd + " plans >/dev/null").c_str()), 0);
    EXPECT_FALSE(fs::exists(root / "usr/bin/tovi.sdb"));
    // The starter settings came with the copied database: categories and a cycle length.
    auto categories = runCli(root / "xdg/tovidesk", {"settings", "get", "类别"});
    EXPECT_EQ(categories.out, "<论坛><新闻>\n");
    // Writable (as /usr/bin is for root), an installed program still never writes beside itself.
    fs::permissions(root / "usr/bin", fs::perms::owner_all);
    EXPECT_EQ(std::system(("env " + xdg + " " + cmd + " settings set 频率 30 >/dev/null").c_str()), 0);
    EXPECT_FALSE(fs::exists(root / "usr/bin/tovimo.ini"));
    EXPECT_EQ(runCli(root / "xdg/tovidesk", {"settings", "get", "频率"}).out, "30\n");
}

TEST(CliHeadless, APortableProgramKeepsItsFilesBesideItself) {
    namespace fs = std::filesystem;
    test::TempDir root;
    fs::create_directories(root / "portable");
    fs::copy_file(TOVI_CLI_BINARY, root / "portable/tovidesk-cli");
    const std::string xdg = "XDG_DATA_HOME=" + (root / "xdg").string();
    std::string cmd = "'" + (root / "portable/tovidesk-cli").string() + "'";
    EXPECT_EQ(std::system(("env " + xdg + " " + cmd + " init >/dev/null").c_str()), 0);
    EXPECT_TRUE(fs::exists(root / "portable/tovi.sdb"));
    EXPECT_TRUE(fs::exists(root / "portable/tovimo.ini"));
    EXPECT_FALSE(fs::exists(root / "xdg/tovidesk"));
}

// A page the site answers with an error names that error everywhere, not the markers or the list.
TEST(CliHeadless, AnErrorPageIsReportedAsTheSitesAnswer) {
    test::TempDir dir;
    test::HttpTestServer server;
    for (int status : {404, 500, 503})
        server.server().Get(
            "/" + std::to_string(status), [status](const httplib::Request&, httplib::Response& res) {
                res.status = status;
                res.set_content("<html><body><h1>Oops</h1><ul><li><a href='/a'>x</a></li></ul></body></html>",
                                "text/html");
            });
    server.start();
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    for (int status : {404, 500, 503}) {
        SCOPED_TRACE(status);
        const std::string url = server.url("/" + std::to_string(status));
        const std::string http = "HTTP " + std::to_string(status);
        auto suggested = runCli(dir.path(), {"plan", "suggest", url});
        EXPECT_EQ(suggested.code, 1);
        EXPECT_NE(suggested.err.find(http), std::string::npos) << suggested.err;
        auto added = runCli(dir.path(), {"plan", "add", "--name", "x", "--url", url, "--expr",
                                         "<li><a href='([^']+)'>([^<]+)</a>", "--title-group", "2",
                                         "--url-template", "[1]", "--after", "</ol>"});
        EXPECT_EQ(added.code, 1);
        EXPECT_NE(added.err.find(http), std::string::npos) << added.err;
        EXPECT_EQ(added.err.find("check the markers"), std::string::npos) << added.err;
        ASSERT_EQ(runCli(dir.path(), {"plan", "add", "--name", "x", "--url", url, "--expr",
                                      "<li><a href='([^']+)'>([^<]+)</a>", "--title-group", "2",
                                      "--url-template", "[1]", "--after", "</ol>", "--force"})
                      .code,
                  0);
        auto tested = runCli(dir.path(), {"test", "--plan", "1"});
        EXPECT_EQ(tested.code, 1);
        EXPECT_NE(tested.err.find(http), std::string::npos) << tested.err;
        auto ran = runCli(dir.path(), {"run", "--plan", "1"});
        EXPECT_NE(ran.out.find("无法获取页面：" + http), std::string::npos) << ran.out;
        EXPECT_NE(runCli(dir.path(), {"plans"}).out.find("无法获取页面：" + http), std::string::npos);
        ASSERT_EQ(runCli(dir.path(), {"plan", "remove", "1"}).code, 0);
    }
}

// A hand-written expression that takes the wrong things (icon links with empty titles, reply
// counts, links that run past their attribute) is shown and refused with the reason; --force saves.
TEST(CliHeadless, AHandWrittenPlanThatTakesTheWrongThingsIsNotSavedSilently) {
    test::TempDir dir;
    test::HttpTestServer server;
    server.server().Get("/list.html", [](const httplib::Request&, httplib::Response& res) {
        std::string html = "<html><ul>";
        for (int k = 1; k <= 4; ++k)
            html += "<li><a href=\"t-" + std::to_string(k) + "\"><img src=i.png></a> <a href=\"t-" +
                    std::to_string(k) + "\">帖子" + std::to_string(k) + "</a> <b>" + std::to_string(k * 7) +
                    "</b></li>";
        res.set_content(html + "</ul></html>", "text/html; charset=utf-8");
    });
    server.start();
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    const std::string url = server.url("/list.html");
    struct Case {
        const char* what;
        std::string expr, titleGroup;
        const char* warning;  // empty: saved without a word
    } cases[] = {
        {"icon links", R"x(<a href="(t-\d+)">(.*?)</a>)x", "2", "标题是空的"},
        {"reply counts", R"x(<b>(\d+)</b>)x", "1", "标题只有数字"},
        {"a link past its attribute", R"x(href="(.*)">(帖子\d+))x", "2", "链接里有引号"},
        {"the titles", R"x(<a href="(t-\d+)">(帖子\d+)</a>)x", "2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"plan",          "add",        "--name",         c.what,
                                         "--url",         url,          "--expr",         c.expr,
                                         "--title-group", c.titleGroup, "--url-template", url + "/[1]"};
        auto added = runCli(dir.path(), args);
        if (!*c.warning) {
            EXPECT_EQ(added.code, 0) << added.err;
            EXPECT_NE(added.err.find("帖子1 | "), std::string::npos) << added.err;  // the first rows shown
            continue;
        }
        EXPECT_EQ(added.code, 1);
        EXPECT_NE(added.err.find(c.warning), std::string::npos) << added.err;
        EXPECT_NE(added.err.find("--force"), std::string::npos) << added.err;
        args.push_back("--force");
        EXPECT_EQ(runCli(dir.path(), args).code, 0);
    }
    EXPECT_NE(runCli(dir.path(), {"sql", "select count(*) from rule"}).out.find("4"), std::string::npos);
}

// The README's hand-written plan: no encoding and no URL template given; the page says the one
// and the expression's link the other.
TEST(CliHeadless, APlanWrittenByHandFindsItsEncodingAndLinks) {
    test::TempDir dir;
    test::HttpTestServer server;
    server.server().Get("/forum/list.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<html><ul><li><a href=\"thread-12-1.html\" class=\"t\">十二楼</a></li>"
            "<li><a href=\"thread-11-1.html\" class=\"t\">十一楼</a></li></ul></html>",
            "text/html; charset=utf-8");
    });
    server.start();
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    const std::string url = server.url("/forum/list.html");
    auto added = runCli(dir.path(), {"plan", "add", "--name", "论坛", "--url", url, "--expr",
                                     R"x(<a href="(thread-(\d+)[^"]*)"[^>]*>(.*?)</a>)x", "--title-group",
                                     "3", "--id-group", "2", "--mode", "id"});
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_NE(added.err.find("编码：utf8（依据 Content-Type charset=utf-8"), std::string::npos) << added.err;
    EXPECT_NE(added.err.find("文章地址模板：" + server.url("/forum/[1]")), std::string::npos) << added.err;
    ASSERT_EQ(runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0"}).code, 0);
    auto articles = runCli(dir.path(), {"articles", "--format", "tsv"});
    EXPECT_NE(articles.out.find("\t十二楼\t" + server.url("/forum/thread-12-1.html")), std::string::npos)
        << articles.out;
    // Part of the link in the group: the rest of it is written around the group.
    auto part =
        runCli(dir.path(), {"plan", "add", "--name", "部分", "--url", url, "--expr",
                            R"x(<a href="thread-(\d+)-1\.html"[^>]*>(.*?)</a>)x", "--title-group", "2"});
    ASSERT_EQ(part.code, 0) << part.err;
    EXPECT_NE(part.err.find("文章地址模板：" + server.url("/forum/thread-[1]-1.html")), std::string::npos)
        << part.err;
    // No link in the expression and no template: refused with the way out.
    auto none = runCli(dir.path(), {"plan", "add", "--name", "无", "--url", url, "--expr",
                                    R"x(thread-(\d+)[^>]*>(.*?)</a>)x", "--title-group", "2"});
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.err.find("--url-template"), std::string::npos) << none.err;
}

// Titles are stored as the page wrote them and shown as people read them.
TEST(CliHeadless, TitlesAreShownAndFoundAsText) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql",
                                  "insert into info(planname,planid,title,url,addtime,issoucang) "
                                  "values('p',1,'&lt;C++&gt; &amp; Qt&#x27;s','http://x/1','1/1 0:00',0)"})
                  .code,
              0);
    auto tsv = runCli(dir.path(), {"articles", "--format", "tsv"});
    EXPECT_NE(tsv.out.find("\t<C++> & Qt's\t"), std::string::npos) << tsv.out;
    auto found = runCli(dir.path(), {"articles", "--search", "<C++> & Qt's", "--format", "json"});
    auto json = nlohmann::json::parse(found.out);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["title"], "<C++> & Qt's");
    EXPECT_TRUE(json[0]["id"].is_number());
    EXPECT_TRUE(json[0]["issoucang"].is_number());
    // A failure in JSON form is JSON too.
    auto unknown = runCli(dir.path(), {"articles", "--plan", "99", "--format", "json"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(nlohmann::json::parse(unknown.out)["exit_code"], 2);
    // The stored text is found too, and the bytes stay as they were.
    EXPECT_NE(runCli(dir.path(), {"articles", "--search", "&amp;"}).out.find("1 篇文章"), std::string::npos);
    EXPECT_NE(runCli(dir.path(), {"sql", "select title from info"}).out.find("&lt;C++&gt;"),
              std::string::npos);
}

}  // namespace
}  // namespace tovi
