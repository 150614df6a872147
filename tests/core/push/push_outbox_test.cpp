// The outbox and the services: each request as the service documents it, and every event sent
// once, however the services and the programs behave.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "core/push/PushChannel.h"
#include "core/push/PushServices.h"
#include "core/push/Pushes.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"
#include "support/FakePushService.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::FakePushService;
using json = nlohmann::json;

std::string base64(const unsigned char* data, unsigned int n) {
    std::string out(4 * ((n + 2) / 3) + 1, '\0');
    out.resize(static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(n))));
    return out;
}
std::string hmacBase64(const std::string& key, const std::string& message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &n);
    return base64(digest, n);
}
std::string queryValue(const std::string& target, const std::string& key) {
    const auto at = target.find(key + "=");
    if (at == std::string::npos) return {};
    const auto end = target.find('&', at);
    return target.substr(at + key.size() + 1,
                         end == std::string::npos ? std::string::npos : end - at - key.size() - 1);
}
std::string urlDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i] == '+' ? ' ' : s[i];
        }
    return out;
}

class Outbox : public ::testing::Test {
protected:
    void SetUp() override {
        test::makeDatabase(dir.path());
        ASSERT_TRUE(openMainDatabase(db, dir / "tovi.sdb").ok());
    }
    std::int64_t addChannel(const std::string& url, const std::string& plans = "", int events = 3,
                            const std::string& quiet = "") {
        PushChannel c;
        c.url = url;
        c.plans = plans;
        c.events = events;
        c.quiet = quiet;
        Result<std::int64_t> id = addPushChannel(db, c);
        EXPECT_TRUE(id.ok()) << (id.ok() ? "" : gbkToUtf8(id.error()));
        return id.ok() ? *id : 0;
    }
    void queueNew(int plan, const std::vector<std::string>& titles, int total = -1) {
        std::vector<PushArticle> listed;
        for (const std::string& t : titles)
            listed.push_back({gbk(t), "http://site.cn/t/" + std::to_string(listed.size())});
        ASSERT_TRUE(db.run(newArticlesPush(plan, gbk("板块") + std::to_string(plan),
                                           total < 0 ? static_cast<int>(titles.size()) : total, listed, now))
                        .ok);
    }
    PushFlushReport flush(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        PushFlushOptions o;
        o.now = [this] { return now; };
        o.timeout = timeout;
        return flushPushes(db, o);
    }
    std::int64_t count(const std::string& sql) {
        SqlResult r = db.run(sql);
        return r.rows.empty() ? -1 : textToInt(cellOf(r.rows[0], 0));
    }
    test::TempDir dir;
    Database db;
    std::int64_t now = 1'800'000'000;
};

struct ServiceCase {
    const char* name;
    std::string url;  // BASE stands for the fake service's address
    const char* acceptBody;
    const char* errorBody;
    std::function<void(const FakePushService::Request&, std::int64_t now)> check;
};

std::vector<ServiceCase> serviceCases() {
    auto bodyJson = [](const FakePushService::Request& r) { return json::parse(r.body); };
    return {
        {"ntfy", "ntfy://u:pw@ignored.example/board?base=BASE", "{}", "{}",
         [](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/board");
             EXPECT_EQ(r.header("Title"), "=?UTF-8?B?VG92aWRlc2vvvJoyIOevh+aWsOaWh+eroA==?=");
             EXPECT_EQ(r.header("Click"), "http://site.cn/t/0");
             EXPECT_EQ(r.header("Authorization"), "Basic dTpwdw==");
             EXPECT_NE(r.body.find("新帖一"), std::string::npos);
         }},
        {"tgram", "tgram://1234:SECRETTOKEN/-100777?base=BASE", R"({"ok":true})",
         R"({"ok":false,"description":"Bad Request: chat not found"})",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/bot1234:SECRETTOKEN/sendMessage");
             const json j = bodyJson(r);
             EXPECT_EQ(j["chat_id"], "-100777");
             EXPECT_EQ(j["parse_mode"], "HTML");
             EXPECT_NE(j["text"].get<std::string>().find("<a href=\"http://site.cn/t/0\">新帖一</a>"),
                       std::string::npos);
         }},
        {"bark", "bark://DEVKEY@ignored.example?base=BASE", R"({"code":200})",
         R"({"code":400,"message":"bad key"})",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/push");
             const json j = bodyJson(r);
             EXPECT_EQ(j["device_key"], "DEVKEY");
             EXPECT_EQ(j["title"], "Tovidesk：2 篇新文章");
             EXPECT_EQ(j["url"], "http://site.cn/t/0");
         }},
        {"schan", "schan://SCTKEY?base=BASE", R"({"code":0})", R"({"code":40001,"message":"bad"})",
         [](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/SCTKEY.send");
             EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
             EXPECT_EQ(urlDecoded(queryValue("?" + r.body, "title")), "Tovidesk：2 篇新文章");
             EXPECT_NE(urlDecoded(queryValue("?" + r.body, "desp")).find("[新帖一](http://site.cn/t/0)"),
                       std::string::npos);
         }},
        {"pushplus", "pushplus://PPTOKEN?base=BASE", R"({"code":200})", R"({"code":999,"msg":"token"})",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/send");
             const json j = bodyJson(r);
             EXPECT_EQ(j["token"], "PPTOKEN");
             EXPECT_EQ(j["template"], "html");
         }},
        {"wecombot", "wecombot://WKEY?base=BASE", R"({"errcode":0})",
         R"({"errcode":93000,"errmsg":"invalid"})",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.target, "/cgi-bin/webhook/send?key=WKEY");
             const json j = bodyJson(r);
             EXPECT_EQ(j["msgtype"], "markdown");
             EXPECT_NE(j["markdown"]["content"].get<std::string>().find("[新帖一](http://site.cn/t/0)"),
                       std::string::npos);
         }},
        {"dingtalk", "dingtalk://DTOKEN/SECxyz?base=BASE", R"({"errcode":0})",
         R"({"errcode":310000,"errmsg":"sign"})",
         [=](const auto& r, std::int64_t now) {
             EXPECT_EQ(r.path, "/robot/send");
             EXPECT_EQ(queryValue(r.target, "access_token"), "DTOKEN");
             const std::string ts = queryValue(r.target, "timestamp");
             EXPECT_EQ(ts, std::to_string(now * 1000));
             EXPECT_EQ(urlDecoded(queryValue(r.target, "sign")), hmacBase64("SECxyz", ts + "\nSECxyz"));
             EXPECT_EQ(bodyJson(r)["msgtype"], "markdown");
         }},
        {"feishu", "feishu://HOOKID/FSECRET?base=BASE", R"({"code":0})",
         R"({"code":19021,"msg":"sign match fail"})",
         [=](const auto& r, std::int64_t now) {
             EXPECT_EQ(r.path, "/open-apis/bot/v2/hook/HOOKID");
             const json j = bodyJson(r);
             EXPECT_EQ(j["timestamp"], std::to_string(now));
             EXPECT_EQ(j["sign"], hmacBase64(std::to_string(now) + "\nFSECRET", ""));
             EXPECT_EQ(j["msg_type"], "text");
         }},
        {"gotify", "gotify://ignored.example/GTOKEN?base=BASE", "{}", "{}",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/message");
             EXPECT_EQ(r.header("X-Gotify-Key"), "GTOKEN");
             EXPECT_EQ(bodyJson(r)["title"], "Tovidesk：2 篇新文章");
         }},
        {"json", "json://ignored.example/hook/in?base=BASE", "{}", "{}",
         [=](const auto& r, std::int64_t) {
             EXPECT_EQ(r.path, "/hook/in");
             const json j = bodyJson(r);
             EXPECT_EQ(j["source"], "tovidesk");
             ASSERT_EQ(j["events"].size(), 1u);
             EXPECT_EQ(j["events"][0]["kind"], "new");
             EXPECT_EQ(j["events"][0]["plan"], 2);
             EXPECT_EQ(j["events"][0]["total"], 2);
             EXPECT_EQ(j["events"][0]["articles"][1]["title"], "新帖二");
         }},
    };
}

TEST_F(Outbox, EachServiceGetsTheRequestItDocumentsAndOnlyItsSuccessCountsAsSent) {
    for (const ServiceCase& c : serviceCases()) {
        SCOPED_TRACE(c.name);
        FakePushService service(c.acceptBody, c.errorBody);
        std::string url = c.url;
        url.replace(url.find("BASE"), 4, service.base());
        const std::int64_t id = addChannel(url);
        queueNew(2, {"新帖一", "新帖二"});
        // The service's own error code (or a 500 where it has none) keeps the message waiting.
        const bool ownCode = std::string(c.errorBody) != "{}";
        service.setMode(ownCode ? FakePushService::Mode::ServiceError : FakePushService::Mode::ServerError);
        PushFlushReport failed = flush();
        EXPECT_EQ(failed.sent, 0);
        EXPECT_EQ(failed.failed, 1);
        EXPECT_EQ(loadPushChannel(db, id)->waiting, 1);
        service.setMode(FakePushService::Mode::Accept);
        now += 31;  // past the back-off
        PushFlushReport sent = flush();
        EXPECT_EQ(sent.sent, 1);
        ASSERT_EQ(service.requests().size(), 2u);
        EXPECT_EQ(service.requests()[1].method, "POST");
        c.check(service.requests()[1], now);
        EXPECT_EQ(loadPushChannel(db, id)->waiting, 0);
        EXPECT_EQ(flush().sent, 0);  // sent once
        ASSERT_TRUE(removePushChannel(db, id).ok());
    }
}

TEST_F(Outbox, MailGoesOverSmtpWithTheSubjectEncoded) {
    test::FakeSmtpServer smtp;
    addChannel("mailto://me%40example.com:pw@smtp.example.com?to=a@b.cn,c@d.cn&base=smtp://127.0.0.1:" +
               std::to_string(smtp.port()));
    queueNew(1, {"邮件里的标题"});
    const PushFlushReport r = flush();
    EXPECT_EQ(r.sent, 1) << (r.lines.empty() ? "" : gbkToUtf8(r.lines[0]));
    ASSERT_EQ(smtp.mails().size(), 1u);
    const auto mail = smtp.mails()[0];
    EXPECT_EQ(mail.from, "MAIL FROM:<me@example.com>");
    EXPECT_EQ(mail.to, (std::vector<std::string>{"RCPT TO:<a@b.cn>", "RCPT TO:<c@d.cn>"}));
    EXPECT_NE(mail.data.find("Subject: =?UTF-8?B?"), std::string::npos);
    EXPECT_NE(mail.login.find("AUTH"), std::string::npos);
}

TEST_F(Outbox, AServiceDownForPassesLosesNothingAndBacksOffThenGivesUpAfterADay) {
    FakePushService service;
    const std::int64_t id = addChannel("json://x.example/h?base=" + service.base());
    service.setMode(FakePushService::Mode::ServerError);
    queueNew(1, {"一"});
    EXPECT_EQ(flush().failed, 1);
    // Passes within the back-off do not knock; the events of later passes wait with the first.
    for (int pass = 0; pass < 3; ++pass) {
        now += 9;
        queueNew(1, {"再一篇" + std::to_string(pass)});
        EXPECT_EQ(flush().failed, 0);
    }
    EXPECT_EQ(service.requests().size(), 1u);
    now += 60;
    EXPECT_EQ(flush().failed, 1);  // the second failure doubles the wait (60 s)
    now += 30;
    EXPECT_EQ(flush().failed, 0);
    service.setMode(FakePushService::Mode::Accept);
    now += 31;
    EXPECT_EQ(flush().sent, 1);
    const json doc = json::parse(service.accepted().at(0).body);
    EXPECT_EQ(doc["events"][0]["total"], 4);  // all four passes in one digest
    EXPECT_EQ(loadPushChannel(db, id)->waiting, 0);

    // Down for good: a day after the first failure the events are given up, with a note.
    service.setMode(FakePushService::Mode::TooMany);
    queueNew(1, {"丢"});
    PushFlushReport r = flush();
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(loadPushChannel(db, id)->nextTry, now + 120);  // Retry-After
    now += kPushGiveUpSeconds + 1;
    r = flush();
    EXPECT_EQ(r.givenUp, 1);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NE(gbkToUtf8(r.lines[0]).find("24 小时未能送达，已放弃"), std::string::npos);
    EXPECT_NE(gbkToUtf8(loadPushChannel(db, id)->note).find("已放弃"), std::string::npos);
    EXPECT_EQ(loadPushChannel(db, id)->waiting, 0);
}

TEST_F(Outbox, AHangingServiceIsLeftAtTheTimeoutAndItsEventsWait) {
    FakePushService service;
    addChannel("json://x.example/h?base=" + service.base());
    service.setMode(FakePushService::Mode::Hang);
    queueNew(1, {"一"});
    PushFlushReport r = flush(std::chrono::milliseconds(500));
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(count("select count(*) from push_outbox where state=0 and claim=''"), 1);
    service.setMode(FakePushService::Mode::Accept);
}

TEST_F(Outbox, ChannelsTakeOnlyTheirPlansAndEventsAndQuietHoursHoldMessages) {
    FakePushService service;
    addChannel("json://x.example/a?base=" + service.base(), "1,3", kPushNewArticles);
    addChannel("json://x.example/b?base=" + service.base(), "", kPushHealth);
    std::tm local{};
    const std::time_t t = static_cast<std::time_t>(now);
    localtime_r(&t, &local);
    char from[8], to[8];
    std::snprintf(from, sizeof from, "%02d:%02d", local.tm_hour, local.tm_min);
    std::snprintf(to, sizeof to, "%02d:%02d", (local.tm_hour + 1) % 24, local.tm_min);
    addChannel("json://x.example/quiet?base=" + service.base(), "", 3, std::string(from) + "-" + to);
    queueNew(2, {"方案二"});
    queueNew(3, {"方案三"});
    ASSERT_TRUE(db.run(healthPush(5, gbk("五"), gbk("方案 5 连续 3 次失败：HTTP 500"), 3, 0, now)).ok);
    ASSERT_TRUE(setPushNewArticles(db, false).ok());
    queueNew(1, {"关掉推送新文章时"});
    ASSERT_TRUE(setPushNewArticles(db, true).ok());
    flush();
    std::map<std::string, std::string> byPath;
    for (const auto& r : service.accepted()) byPath[r.path] += r.body;
    EXPECT_NE(byPath["/a"].find("方案三"), std::string::npos);
    EXPECT_EQ(byPath["/a"].find("方案二"), std::string::npos);
    EXPECT_EQ(byPath["/a"].find("关掉"), std::string::npos);
    EXPECT_NE(byPath["/b"].find("连续 3 次失败"), std::string::npos);
    EXPECT_EQ(byPath["/b"].find("方案三"), std::string::npos);
    EXPECT_EQ(byPath.count("/quiet"), 0u);
    now += 3600;  // quiet hours over: what waited goes
    flush();
    EXPECT_EQ(service.accepted().size(), 3u);
    EXPECT_NE(service.accepted().back().body.find("方案二"), std::string::npos);
}

TEST_F(Outbox, AHealthChangeAlreadyWrittenByAnotherProgramIsNotAnnouncedTwice) {
    FakePushService service;
    addChannel("json://x.example/h?base=" + service.base());
    ASSERT_TRUE(db.run(Statement("insert into plan_health(planid, failures) values(5, 3)")).ok);
    // This program read 2 failures before the other one wrote 3: the change is the other's.
    ASSERT_TRUE(db.run(healthPush(5, gbk("五"), gbk("方案 5 连续 3 次失败"), 3, 2, now)).ok);
    EXPECT_EQ(count("select count(*) from push_outbox"), 0);
    ASSERT_TRUE(db.run(healthPush(5, gbk("五"), gbk("方案 5 已恢复正常"), 0, 3, now)).ok);
    EXPECT_EQ(count("select count(*) from push_outbox"), 1);
}

TEST_F(Outbox, ServiceRateLimitsMakeMessagesWaitNeverDrop) {
    FakePushService service(R"({"errcode":0})");
    const std::int64_t id = addChannel("dingtalk://T?base=" + service.base());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(db.run(Statement("insert into push_sends(channel, at) values(?, ?)", {id, now - 30})).ok);
    queueNew(1, {"等一分钟"});
    EXPECT_EQ(flush().sent, 0);
    EXPECT_EQ(loadPushChannel(db, id)->waiting, 1);
    now += 31;
    EXPECT_EQ(flush().sent, 1);
}

TEST_F(Outbox, SecretsNeverAppearInLinesOrNotes) {
    FakePushService service("{}", R"({"ok":false,"description":"token 1234:SECRETSECRETSECRET is revoked"})");
    const std::int64_t id = addChannel("tgram://1234:SECRETSECRETSECRET/-1?base=" + service.base());
    service.setMode(FakePushService::Mode::ServiceError);
    queueNew(1, {"一"});
    PushFlushReport r = flush();
    ASSERT_EQ(r.failed, 1);
    for (const std::string& line : r.lines)
        EXPECT_EQ(line.find("SECRETSECRETSECRET"), std::string::npos) << line;
    EXPECT_EQ(loadPushChannel(db, id)->note.find("SECRETSECRETSECRET"), std::string::npos);
    EXPECT_NE(gbkToUtf8(loadPushChannel(db, id)->note).find("revoked"), std::string::npos);
    const PushTestResult test = sendTestPush(*loadPushChannel(db, id));
    EXPECT_FALSE(test.accepted);
    EXPECT_EQ(test.answer.find("SECRETSECRETSECRET"), std::string::npos);
}

TEST_F(Outbox, TwoProgramsFlushingOneFileSendEachEventOnce) {
    // A small limit (Bark's) makes many messages, and a slow service makes the two programs meet.
    FakePushService service(R"({"code":200})");
    service.setDelay(std::chrono::milliseconds(20));
    addChannel("bark://K@x.example?base=" + service.base());
    for (int i = 0; i < 150; ++i) queueNew(1 + i, {"文[" + std::to_string(i) + "]"});
    // A second connection is what another program has; both flush at once, over and over.
    Database other;
    ASSERT_TRUE(openMainDatabase(other, dir / "tovi.sdb").ok());
    auto flusher = [&](Database& d) {
        for (int round = 0; round < 5; ++round) {
            PushFlushOptions o;
            o.now = [this] { return now; };
            flushPushes(d, o);
        }
    };
    std::thread a([&] { flusher(db); });
    std::thread b([&] { flusher(other); });
    a.join();
    b.join();
    std::string all;
    for (const auto& r : service.accepted()) all += json::parse(r.body)["body"].get<std::string>();
    EXPECT_GE(service.accepted().size(), 3u);
    for (int i = 0; i < 150; ++i) {
        const std::string title = "文[" + std::to_string(i) + "]";
        std::size_t times = 0;
        for (auto at = all.find(title); at != std::string::npos; at = all.find(title, at + 1)) ++times;
        EXPECT_EQ(times, 1u) << title;
    }
    EXPECT_EQ(count("select count(*) from push_outbox where state=0"), 0);
}

}  // namespace
}  // namespace tovi
