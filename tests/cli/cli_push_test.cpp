// Pushes from the command line: channels kept with their secrets hidden, a digest after each
// run that stored articles, plan health once each way, and nothing lost or sent twice when the
// program is killed or the service is down.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <mutex>
#include <nlohmann/json.hpp>

#include "cli/CliRunner.h"
#include "core/text/Gbk.h"
#include "support/FakePushService.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"


namespace tovi {
namespace {

using json = nlohmann::json;
using test::FakePushService;
using test::runCli;

// A board whose list the test rewrites: ids rise, the newest first.
struct Board {
    Board() {
        server.server().Get("/list.html", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard g(mutex);
            std::string page = "<div class=\"list\">";
            for (std::size_t i = titles.size(); i-- > 0;)
                page += "<li><a href=\"t-" + std::to_string(i + 1) + ".html\">" + titles[i] + "</a></li>";
            res.status = status;
            res.set_content(status == 200 ? gbk(page + "</div>") : std::string("down"), "text/html");
        });
        server.start();
    }
    void add(const std::string& title) {
        std::lock_guard g(mutex);
        titles.push_back(title);
    }
    void setStatus(int s) {
        std::lock_guard g(mutex);
        status = s;
    }
    std::mutex mutex;
    std::vector<std::string> titles;  // oldest first
    int status = 200;
    test::HttpTestServer server;
};

class CliPush : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
        board.add("第一篇");
        const std::string url = board.server.url("/list.html");
        auto added =
            runCli(dir.path(), {"plan", "add", "--name", "板块", "--url", url, "--expr",
                                "<a href=\"t-(\\d+)\\.html\">(.*?)</a>", "--before", "class=#引号list#引号>",
                                "--after", "</div>", "--mode", "id", "--title-group", "2", "--url-template",
                                board.server.url("/t-[1].html")});
        ASSERT_EQ(added.code, 0) << added.err;
        ASSERT_EQ(runCli(dir.path(), {"run", "--plan", "1"}).code, 0);  // what stands now is seen
    }
    test::CliRun run(std::vector<std::string> args) { return runCli(dir.path(), std::move(args)); }
    test::TempDir dir;
    Board board;
};

TEST_F(CliPush, ARunPushesADigestOfWhatItStoredAndTheTitleRulesLetAlert) {
    FakePushService service;
    ASSERT_EQ(run({"push", "add", "json://hooks.example/in?base=" + service.base(), "--name", "网钩"}).code,
              0);
    ASSERT_EQ(run({"rules", "set", "--exclude", "广告", "--action", "alert"}).code, 0);
    board.add("新闻一");
    board.add("广告二");
    board.add("新闻三");
    auto r = run({"run", "--plan", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(service.accepted().size(), 1u);
    json doc = json::parse(service.accepted()[0].body);
    ASSERT_EQ(doc["events"].size(), 1u);
    EXPECT_EQ(doc["events"][0]["name"], "板块");
    EXPECT_EQ(doc["events"][0]["total"], 2);
    EXPECT_EQ(doc["events"][0]["articles"].size(), 2u);
    EXPECT_EQ(doc["events"][0]["articles"][0]["title"], "新闻三");
    EXPECT_EQ(doc["events"][0]["articles"][0]["url"], board.server.url("/t-4.html"));
    EXPECT_EQ(doc["events"][0]["articles"][1]["title"], "新闻一");
    EXPECT_EQ(doc["title"], "Tovidesk：2 篇新文章");

    EXPECT_EQ(run({"run", "--plan", "1"}).code, 0);  // nothing new: nothing pushed
    EXPECT_EQ(service.requests().size(), 1u);
    board.add("新闻四");
    EXPECT_EQ(run({"run", "--plan", "1"}).code, 0);
    ASSERT_EQ(service.accepted().size(), 2u);
    doc = json::parse(service.accepted()[1].body);
    EXPECT_EQ(doc["events"][0]["articles"].size(), 1u);
    EXPECT_EQ(doc["events"][0]["articles"][0]["title"], "新闻四");
}

TEST_F(CliPush, EverySchemeGetsTheDigestOfARunThatStoredArticles) {
    struct Scheme {
        std::string url;  // BASE: the fake service
        const char* accept;
    };
    const std::vector<Scheme> schemes = {
        {"ntfy://n.example/board?base=BASE", "{}"},
        {"tgram://1:TOKEN/-100?base=BASE", R"({"ok":true})"},
        {"bark://KEY@b.example?base=BASE", R"({"code":200})"},
        {"schan://SCT?base=BASE", R"({"code":0})"},
        {"pushplus://PP?base=BASE", R"({"code":200})"},
        {"wecombot://WK?base=BASE", R"({"errcode":0})"},
        {"dingtalk://DT/SEC1?base=BASE", R"({"errcode":0})"},
        {"feishu://FH/SEC2?base=BASE", R"({"code":0})"},
        {"gotify://g.example/GT?base=BASE", "{}"},
        {"json://j.example/in?base=BASE", "{}"},
    };
    std::vector<std::unique_ptr<FakePushService>> services;
    for (const Scheme& scheme : schemes) {
        services.push_back(std::make_unique<FakePushService>(scheme.accept));
        std::string url = scheme.url;
        url.replace(url.find("BASE"), 4, services.back()->base());
        auto added = run({"push", "add", url});
        ASSERT_EQ(added.code, 0) << url << added.err;
    }
    test::FakeSmtpServer smtp;
    ASSERT_EQ(run({"push", "add",
                   "mailto://me%40example.com:pw@mail.example?to=you@example.com&base=smtp://127.0.0.1:" +
                       std::to_string(smtp.port())})
                  .code,
              0);
    board.add("各处都要看到的标题");
    auto r = run({"run", "--plan", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (std::size_t i = 0; i < services.size(); ++i) {
        SCOPED_TRACE(schemes[i].url);
        ASSERT_EQ(services[i]->accepted().size(), 1u);
        // Each service has the title in its own form (JSON, a form, plain text).
        const std::string body = services[i]->accepted()[0].body;
        const bool formEncoded = body.rfind("title=", 0) == 0;
        EXPECT_TRUE(formEncoded ? body.find("%E5%90%84%E5%A4%84") != std::string::npos
                                : body.find("各处都要看到的标题") != std::string::npos)
            << body;
    }
    ASSERT_EQ(smtp.mails().size(), 1u);
    EXPECT_EQ(json::parse(run({"push", "list", "--format", "json"}).out).size(), 11u);
}

TEST_F(CliPush, APlanThatBreaksIsAnnouncedOnceAndOnceWhenItRecovers) {
    FakePushService service;
    ASSERT_EQ(
        run({"push", "add", "ntfy://ntfy.example/alerts?base=" + service.base(), "--events", "health"}).code,
        0);
    board.setStatus(500);
    for (int i = 0; i < 5; ++i) run({"run", "--plan", "1"});
    ASSERT_EQ(service.accepted().size(), 1u);
    EXPECT_NE(service.accepted()[0].body.find("方案 1 连续 3 次失败：无法获取页面：HTTP 500"),
              std::string::npos)
        << service.accepted()[0].body;
    board.setStatus(200);
    board.add("又一篇");
    EXPECT_EQ(run({"run", "--plan", "1"}).code, 0);
    ASSERT_EQ(service.accepted().size(), 2u);
    EXPECT_NE(service.accepted()[1].body.find("方案 1 已恢复正常"), std::string::npos)
        << service.accepted()[1].body;
    EXPECT_EQ(service.accepted()[1].body.find("又一篇"), std::string::npos);  // health only, as asked
}

pid_t spawnCli(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TOVI_CLI_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    return test::spawnProgram(all);
}

TEST_F(CliPush, AKillDuringTheSendAndAServiceDownForThreePassesLoseNothingAndSendOnce) {
    FakePushService service;
    ASSERT_EQ(run({"push", "add", "json://hooks.example/in?base=" + service.base()}).code, 0);
    board.add("甲");
    board.add("乙");
    // The run stores the articles (and their message), then hangs in the send: killed there.
    service.setMode(FakePushService::Mode::Hang);
    const pid_t pid = spawnCli({"--dir", dir.path().string(), "run", "--plan", "1"});
    ASSERT_TRUE(service.waitForRequests(1));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // Down for three passes: the message waits (the first of them tries, the others back off).
    service.setMode(FakePushService::Mode::ServerError);
    for (int pass = 0; pass < 3; ++pass) {
        board.add("丙" + std::to_string(pass));
        auto r = run({"run", "--plan", "1"});
        EXPECT_EQ(r.code, 0) << r.err;
    }
    EXPECT_EQ(service.requests().size(), 2u);  // the killed send and one try
    auto listed = run({"push", "list", "--format", "json"});
    EXPECT_EQ(json::parse(listed.out)[0]["waiting"], 4);
    service.setMode(FakePushService::Mode::Accept);
    auto flushed = run({"push", "flush"});
    EXPECT_EQ(flushed.code, 0) << flushed.err;
    EXPECT_EQ(run({"push", "flush"}).code, 0);
    ASSERT_EQ(service.accepted().size(), 1u);
    const std::string body = service.accepted()[0].body;
    for (const char* title : {"\"甲\"", "\"乙\"", "\"丙0\"", "\"丙1\"", "\"丙2\""}) {
        const auto first = body.find(title);
        EXPECT_NE(first, std::string::npos) << title;
        EXPECT_EQ(body.find(title, first + 1), std::string::npos) << title;
    }
    EXPECT_EQ(json::parse(run({"push", "list", "--format", "json"}).out)[0]["waiting"], 0);
}

TEST_F(CliPush, ChannelsAreListedTestedAndRemovedWithTheirSecretsHidden) {
    FakePushService service(R"({"ok":true,"result":{"message_id":7}})");
    const std::string token = "123456789:AAEsecretsecretsecret";
    auto added = run({"push", "add", "tgram://" + token + "/-100200?base=" + service.base(), "--plans", "1",
                      "--quiet", "23:00-07:00"});
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_NE(added.out.find("已添加推送渠道 1"), std::string::npos);
    for (const auto& out : {added.out, run({"push", "list"}).out,
                            run({"push", "list", "--format", "json"}).out, run({"push", "test"}).out})
        EXPECT_EQ(out.find("secretsecret"), std::string::npos) << out;
    auto tested = run({"push", "test", "1"});
    EXPECT_EQ(tested.code, 0) << tested.err;
    EXPECT_NE(tested.out.find("已送达 HTTP 200"), std::string::npos) << tested.out;
    EXPECT_NE(tested.out.find("message_id"), std::string::npos);  // the service's own answer
    const json listed = json::parse(run({"push", "list", "--format", "json"}).out);
    EXPECT_EQ(listed[0]["plans"], "1");
    EXPECT_EQ(listed[0]["quiet"], "23:00-07:00");
    EXPECT_EQ(listed[0]["url"], "tgram://123…ret/-100200?base=" + service.base());

    service.setMode(FakePushService::Mode::ServerError);
    EXPECT_EQ(run({"push", "test", "1"}).code, 1);
    struct Bad {
        std::vector<std::string> args;
        const char* says;
    } bad[] = {
        {{"push", "add", "slack://x"}, "不认识"},
        {{"push", "add", "ntfy://h/t", "--plans", "1,999"}, "1 到 200"},
        {{"push", "add", "ntfy://h/t", "--events", "new,spam"}, "不认识"},
        {{"push", "add", "ntfy://h/t", "--quiet", "25:00-01:00"}, "22:00-07:00"},
        {{"push", "remove", "9"}, "没有编号为 9 的推送渠道"},
        {{"push", "test", "9"}, "没有编号为 9 的推送渠道"},
    };
    for (const Bad& b : bad) {
        auto r = run(b.args);
        EXPECT_EQ(r.code, 2) << b.args[2];
        EXPECT_NE(r.err.find(b.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(run({"push", "remove", "1"}).code, 0);
    EXPECT_NE(run({"push", "list"}).out.find("还没有推送渠道"), std::string::npos);
    // The files that hold the tokens (and cookies) were made for their owner alone.
    namespace fs = std::filesystem;
    for (const char* file : {"tovi.sdb", "tovimo.ini"})
        EXPECT_EQ(fs::status(dir / file).permissions() & (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none)
            << file;
}

}  // namespace
}  // namespace tovi
