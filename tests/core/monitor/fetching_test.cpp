// Fetching ahead and politely: pages of several hosts fetched while plans are processed one by
// one, conditional requests, a site's request to wait, and pages too large to keep.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "core/monitor/PageVisits.h"
#include "core/net/HttpRequest.h"
#include "core/net/TransferPool.h"
#include "core/plans/PlanHealth.h"
#include "core/settings/Settings.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;
using test::EngineFixture;
using test::PlanRowValues;
using test::RawHttpServer;

// Eight spellings of 127.0.0.1: eight host names as far as the program can tell.
const char* const kHosts[] = {"127.0.0.1",  "127.1",      "127.0.1", "2130706433",
                              "0x7f000001", "0177.0.0.1", "0x7f.1",  "127.000.000.001"};

class Fetching : public EngineFixture {
protected:
    // A site whose pages answer after a delay; it counts the requests in flight, per host
    // (the first part of the path names the host the plan's URL used).
    void SetUp() override {
        EngineFixture::SetUp();
        slow.server().Get(R"(/h(\d+)/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string host = req.matches[1];
            {
                std::lock_guard g(m);
                ports[host].insert(req.remote_port);
                int now = ++inFlight[host];
                inFlightAtArrival[std::stoi(req.matches[2])] = total + 1;
                maxPerHost = std::max(maxPerHost, now);
                maxTotal = std::max(maxTotal, ++total);
            }
            std::this_thread::sleep_for(delay);
            {
                std::lock_guard g(m);
                --inFlight[host];
                --total;
            }
            res.set_header("Set-Cookie", "p" + std::string(req.matches[2]) + "=seen; path=/");
            res.set_content(
                listPage({{100 + std::stoi(req.matches[2]), "文章" + std::string(req.matches[2])}}, false),
                "text/html");
        });
        slow.start();
    }
    // Plans spread over the hosts in turn, or (perSite) a site's plans one after another.
    std::vector<int> addPlansOnHosts(int count, int perSite = 0) {
        std::vector<int> ids;
        for (int i = 0; i < count; ++i) {
            const int h = perSite ? i / perSite % 8 : i % 8;
            PlanRowValues spec;
            spec.url = "http://" + std::string(kHosts[h]) + ":" + std::to_string(slow.port()) + "/h" +
                       std::to_string(h) + "/" + std::to_string(i);
            ids.push_back(addPlan(spec));
        }
        return ids;
    }
    std::string storedRows() {
        std::string out;
        for (const auto& row : db.run("select planid, title, url, other from info order by id").rows)
            out += row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "\n";
        return out;
    }
    void forgetArticles() {
        db.runScript("delete from info; update rule set arttile='', arturl='', lastid=''");
        reloadPlanTable();
        sink.replaceAll("");
    }

    test::HttpTestServer slow;
    std::chrono::milliseconds delay{100};
    std::mutex m;
    std::map<std::string, int> inFlight;
    std::map<std::string, std::set<int>> ports;
    std::map<int, int> inFlightAtArrival;  // by plan: requests in flight when its own arrived  // the client
                                           // ports each host saw: its connections
    int total = 0, maxPerHost = 0, maxTotal = 0;
};

TEST_F(Fetching, OverlappedFetchesKeepTheOrderTheTraceAndTheRows) {
    const std::vector<int> queue = addPlansOnHosts(16);
    monitoring->engine().setParallel(1);
    monitoring->engine().startOneShot(queue, RunMode::RunAll);
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    const std::string sequentialTrace = sink.text(), sequentialRows = storedRows();
    EXPECT_EQ(maxTotal, 1);
    EXPECT_NE(sequentialRows.find(gbk("文章15")), std::string::npos);

    forgetArticles();
    maxTotal = maxPerHost = 0;
    monitoring->engine().setParallel(8);
    monitoring->engine().startOneShot(queue, RunMode::RunAll);
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    EXPECT_EQ(sink.text(), sequentialTrace);  // the same lines, plan after plan
    EXPECT_EQ(storedRows(), sequentialRows);
    EXPECT_GT(maxTotal, 2);  // the fetches did overlap
    EXPECT_LE(maxTotal, 8);
    EXPECT_LE(maxPerHost, 2);
    // Each plan's cookie got what its own page set.
    for (int i : {0, 7, 15}) {
        SCOPED_TRACE(i);
        EXPECT_EQ((*monitoring->planTable().row(queue[i]))[kRuleCookie], "p" + std::to_string(i) + "=seen");
    }
}

// Users number their plans site by site: while a site's next plans wait for its two transfers,
// the plans of the other sites go ahead, and the pages they bring wait their turn.
TEST_F(Fetching, PlansQueuedSiteAfterSiteStillFillEverySlot) {
    const std::vector<int> queue = addPlansOnHosts(16, 4);  // four sites, four plans each
    monitoring->engine().setParallel(8);
    monitoring->engine().startOneShot(queue, RunMode::RunAll);
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    EXPECT_EQ(articleCount(), 16);
    EXPECT_LE(maxTotal, 8);
    EXPECT_LE(maxPerHost, 2);
    // The third and fourth plans of each site went out together with those of the other sites,
    // not two at a time while fetched pages held every slot.
    int secondWave = 0;
    for (int plan = 0; plan < 16; ++plan)
        if (plan % 4 >= 2) secondWave = std::max(secondWave, inFlightAtArrival[plan]);
    EXPECT_GE(secondWave, 6);
}

// Passes one after another (each cycle of `run --cycles`) ask on the connections of the first.
TEST_F(Fetching, OneShotPassesOneAfterAnotherKeepTheirConnections) {
    delay = 0ms;
    const std::vector<int> queue = addPlansOnHosts(8, 2);  // four sites, two plans each
    for (int pass = 0; pass < 3; ++pass) {
        monitoring->engine().startOneShot(queue, RunMode::RunAll);
        ASSERT_TRUE(monitoring->engine().waitAll(30s));
    }
    std::lock_guard g(m);
    std::set<int> connections;
    for (const auto& [host, seen] : ports) connections.insert(seen.begin(), seen.end());
    EXPECT_LE(connections.size(), 8u);
}

// Plans of many sites that all redirect to one: that site still gets at most two at once.
TEST_F(Fetching, RedirectsCountOnTheSiteTheyGoTo) {
    slow.server().Get(R"(/r(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_redirect("http://" + std::string(kHosts[7]) + ":" + std::to_string(slow.port()) + "/h7/" +
                         std::string(req.matches[1]));
    });
    std::vector<int> queue;
    for (int i = 0; i < 6; ++i) {
        PlanRowValues spec;
        spec.url =
            "http://" + std::string(kHosts[i]) + ":" + std::to_string(slow.port()) + "/r" + std::to_string(i);
        queue.push_back(addPlan(spec));
    }
    monitoring->engine().startOneShot(queue, RunMode::RunAll);
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    EXPECT_EQ(articleCount(), 6);
    EXPECT_LE(maxPerHost, 2);
}

// One monitoring run keeps its connections: the second cycle asks on those of the first.
TEST_F(Fetching, ConnectionsAreKeptFromCycleToCycle) {
    delay = 0ms;
    const std::vector<int> queue = addPlansOnHosts(8, 2);  // four sites, two plans each
    ASSERT_TRUE(monitoring->engine().startPeriodic(queue, 1ms));
    for (int waited = 0; listener.cycles < 3 && waited < 3000; ++waited) std::this_thread::sleep_for(1ms);
    monitoring->engine().requestStopPeriodic();
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    ASSERT_GE(listener.cycles.load(), 3);
    // Our eight spellings are one address to the connection cache: the three cycles' 24
    // requests came over no more connections than one cycle's transfers at once.
    std::lock_guard g(m);
    std::set<int> connections;
    for (const auto& [host, seen] : ports) connections.insert(seen.begin(), seen.end());
    EXPECT_LE(connections.size(), 8u);
}

TEST_F(Fetching, AStopEndsEveryTransferInFlight) {
    RawHttpServer hanging("", /*hang=*/true);
    std::vector<int> queue;
    for (const char* host : kHosts) {
        PlanRowValues spec;
        spec.url = "http://" + std::string(host) + ":" + std::to_string(hanging.port()) + "/list.html";
        queue.push_back(addPlan(spec));
    }
    ASSERT_TRUE(monitoring->engine().startPeriodic(queue, 1h));
    ASSERT_TRUE(hanging.waitForRequests(8));  // all eight hang at once
    monitoring->engine().requestStopPeriodic();
    // The transfers would hang for 30 s: a stop that waited for any of them could not end in 2.
    EXPECT_TRUE(monitoring->engine().waitAll(2s));
    ASSERT_TRUE(monitoring->engine().waitAll(30s));
    EXPECT_EQ(articleCount(), 0);
}

TEST_F(Fetching, AnUnchangedPageIsNotProcessedAgain) {
    std::atomic<int> version{1};
    std::vector<std::string> asked;
    slow.server().Get("/etag.html", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string etag = "\"v" + std::to_string(version.load()) + "\"";
        {
            std::lock_guard g(m);
            asked.push_back(req.get_header_value("If-None-Match") + "|" +
                            req.get_header_value("If-Modified-Since"));
        }
        res.set_header("ETag", etag);
        res.set_header("Last-Modified", "Wed, 09 Dec 2026 07:0" + std::to_string(version.load()) + ":00 GMT");
        if (req.get_header_value("If-None-Match") == etag) {
            res.status = 304;
            return;
        }
        std::vector<std::pair<int, std::string>> items;
        for (int i = version.load() + 1; i >= 1; --i) items.emplace_back(i, "版本文章" + std::to_string(i));
        res.set_content(listPage(items, false), "text/html");
    });
    PlanRowValues spec;
    spec.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/etag.html";
    const int id = addPlan(spec);
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(articleCount(), 2);
    sink.replaceAll("");
    PlanRunOutcome unchanged = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(unchanged.kind, PlanRunOutcome::Kind::PageUnchanged);
    EXPECT_NE(sink.utf8().find("\r\n正在 采集源码、源码未变化（HTTP 304），本次无新文章\r\n任务"),
              std::string::npos)
        << sink.utf8();
    EXPECT_EQ(articleCount(), 2);
    version = 2;
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(articleCount(), 3);
    // An edited plan reads the page afresh, whatever the site says of it.
    db.run(Statement("update rule set tindex='0' where id=?", {id}));
    reloadPlanTable();
    monitoring->planRunner().runPlan(id);
    std::lock_guard g(m);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0], "|");
    EXPECT_EQ(asked[1], "\"v1\"|Wed, 09 Dec 2026 07:01:00 GMT");
    EXPECT_EQ(asked[3], "|");
}

// Runs that store nothing leave their bookkeeping to one commit at the end of the pass; it is
// written all the same: what the visit learnt, and the health of a plan that failed.
TEST_F(Fetching, APassWritesTheBookkeepingOfRunsThatStoredNothingAtItsEnd) {
    std::atomic<int> version{1};
    std::vector<std::string> asked;
    slow.server().Get("/same.html", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string etag = "\"e" + std::to_string(version.load()) + "\"";
        {
            std::lock_guard g(m);
            asked.push_back(req.get_header_value("If-None-Match"));
        }
        res.set_header("ETag", etag);
        if (req.get_header_value("If-None-Match") == etag) {
            res.status = 304;
            return;
        }
        res.set_content(listPage({{2, "同一篇"}, {1, "另一篇"}}, false), "text/html");
    });
    PlanRowValues same, gone;
    same.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/same.html";
    gone.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/gone.html";
    const std::vector<int> queue{addPlan(same), addPlan(gone)};
    auto pass = [&] {
        monitoring->engine().startOneShot(queue, RunMode::RunAll);
        ASSERT_TRUE(monitoring->engine().waitAll(30s));
    };
    pass();
    EXPECT_EQ(articleCount(), 2);
    version = 2;  // the same page under a new tag: nothing new, but the tag is worth keeping
    pass();
    EXPECT_EQ(articleCount(), 2);
    pass();
    std::lock_guard g(m);
    EXPECT_EQ(asked, (std::vector<std::string>{"", "\"e1\"", "\"e2\""}));
    const auto health = loadPlanHealth(db, queue[1]);
    ASSERT_TRUE(health.has_value());
    EXPECT_EQ(health->failures, 3);
}

TEST_F(Fetching, ASiteThatAsksToWaitIsLeftAlone) {
    std::atomic<int> visits{0};
    slow.server().Get("/busy.html", [&](const httplib::Request&, httplib::Response& res) {
        ++visits;
        res.status = 503;
        res.set_header("Retry-After", "120");
        res.set_content("busy", "text/plain");
    });
    PlanRowValues spec;
    spec.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/busy.html";
    const int id = addPlan(spec);
    monitoring->planRunner().runPlan(id);
    EXPECT_NE(sink.utf8().find("\r\n正在 采集源码（HTTP 503）、整理源码"), std::string::npos) << sink.utf8();
    sink.replaceAll("");
    PlanRunOutcome skipped = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(skipped.kind, PlanRunOutcome::Kind::Skipped);
    EXPECT_NE(sink.utf8().find("网站要求稍后再访问，还需等 1"), std::string::npos) << sink.utf8();
    EXPECT_EQ(visits.load(), 1);
}

TEST_F(Fetching, ARunLooksAtTheNewestTenThousandMatches) {
    std::vector<std::pair<int, std::string>> items;
    for (int i = 10500; i >= 1; --i) items.emplace_back(i, "t" + std::to_string(i));
    setPage("/many.html", listPage(items, false));
    for (const char* type : {"0", "2"}) {
        SCOPED_TRACE(type);
        PlanRowValues spec;
        spec.url = server.url("/many.html");
        spec.type = type;
        const int id = addPlan(spec);
        sink.replaceAll("");
        PlanRunOutcome outcome = monitoring->planRunner().runPlan(id);
        EXPECT_EQ(outcome.stored, 10000);
        EXPECT_NE(sink.utf8().find("本页匹配到 10500 篇，只看最新的 10000 篇"), std::string::npos);
        // Newest at the top (descending) or at the bottom (ascending): t10500 or t1 is in.
        auto has = [&](const char* title) {
            return !db.run(Statement("select 1 from info where planid=? and title=?",
                                     {id, std::string(title)}))
                        .rows.empty();
        };
        EXPECT_EQ(has("t10500"), std::string(type) == "0");
        EXPECT_EQ(has("t1"), std::string(type) == "2");
    }
}

// A body of `size` bytes of 'a', sent in pieces, optionally as gzip.
void servePage(httplib::Server& s, const std::string& path, std::size_t size, bool gzip) {
    s.Get(path, [size, gzip](const httplib::Request&, httplib::Response& res) {
        std::string piece(1 << 20, 'a');
        if (!gzip) {
            res.set_content_provider(size, "text/html",
                                     [piece](std::size_t offset, std::size_t length, httplib::DataSink& out) {
                                         out.write(piece.data(), std::min(length, piece.size()));
                                         (void)offset;
                                         return true;
                                     });
            return;
        }
        // Deflate the whole page once, piece by piece: a few hundred kilobytes on the wire.
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
        std::string packed(1 << 20, '\0');
        std::string out;
        for (std::size_t sent = 0; sent < size; sent += piece.size()) {
            z.next_in = reinterpret_cast<Bytef*>(piece.data());
            z.avail_in = static_cast<uInt>(piece.size());
            const int flush = sent + piece.size() >= size ? Z_FINISH : Z_NO_FLUSH;
            do {
                z.next_out = reinterpret_cast<Bytef*>(packed.data());
                z.avail_out = static_cast<uInt>(packed.size());
                deflate(&z, flush);
                out.append(packed.data(), packed.size() - z.avail_out);
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
        res.set_header("Content-Encoding", "gzip");
        res.set_content(out, "text/html");
    });
}

TEST_F(Fetching, PagesLargerThanTheCapAreRefusedWithTheReason) {
    servePage(slow.server(), "/huge.html", 100u << 20, false);
    servePage(slow.server(), "/bomb.html", 100u << 20, true);
    servePage(slow.server(), "/fine.html", 10u << 20, true);
    const std::string base = "http://127.0.0.1:" + std::to_string(slow.port());
    for (const char* path : {"/huge.html", "/bomb.html"}) {
        SCOPED_TRACE(path);
        std::string cookie;
        FetchResult r = fetchForMonitoring(base + path, cookie, "");
        EXPECT_TRUE(r.body.empty());
        EXPECT_EQ(gbkToUtf8(r.error), "页面超过 64 MB，已放弃");
    }
    std::string cookie;
    EXPECT_EQ(fetchForMonitoring(base + "/fine.html", cookie, "").body.size(), 10u << 20);  // inflated
}

TEST_F(Fetching, PagesWaitingToBeProcessedAreHeldAsTheSiteSentThem) {
    for (int i = 0; i < 16; ++i) servePage(slow.server(), "/p" + std::to_string(i) + ".html", 8u << 20, true);
    servePage(slow.server(), "/bomb.html", 100u << 20, true);
    slow.server().Get("/broken.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content("\x1f\x8b this is no gzip stream", "text/html");
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(slow.port());
    // 16 pages of 8 MB each under a 1 MB bound: held compressed (a few kilobytes each), all of
    // them are fetched ahead; held inflated, the bound would stop the pool after the first.
    TransferLimits limits;
    limits.heldBytes = 1u << 20;
    TransferPool pool(limits);
    std::vector<TransferPool::Ticket> tickets;
    auto submit = [&](const std::string& path) {
        Result<CurlGet> get = monitorRequest(base + path, "", "", FetchLimits{});
        EXPECT_TRUE(get.ok());
        tickets.push_back(pool.submit(std::move(*get), "127.0.0.1"));
    };
    for (int i = 0; i < 16; ++i) submit("/p" + std::to_string(i) + ".html");
    submit("/bomb.html");
    submit("/broken.html");
    for (int i = 0; i < 200 && slow.requests().size() < 18; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(slow.requests().size(), 18u);
    for (int i = 0; i < 16; ++i) {
        const CurlResponse r = pool.take(tickets[i], {});
        EXPECT_EQ(r.result.body.size(), 8u << 20) << gbkToUtf8(r.result.error);  // inflated when taken
        EXPECT_EQ(r.result.body.find_first_not_of('a'), std::string::npos);
        pool.release(tickets[i]);
    }
    const CurlResponse bomb = pool.take(tickets[16], {});
    EXPECT_TRUE(bomb.result.body.empty());
    EXPECT_EQ(gbkToUtf8(bomb.result.error), "页面超过 64 MB，已放弃");
    const CurlResponse broken = pool.take(tickets[17], {});
    EXPECT_TRUE(broken.result.body.empty());
    EXPECT_EQ(gbkToUtf8(broken.result.error), "网络错误: 页面的压缩数据有误");
}

TEST_F(Fetching, AnErrorStatusIsShownAndTheBodyStillUsed) {
    slow.server().Get("/gone.html", [this](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(listPage({{1, "仍然可用"}}, false), "text/html");
    });
    PlanRowValues spec;
    spec.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/gone.html";
    const int id = addPlan(spec);
    monitoring->planRunner().runPlan(id);
    EXPECT_NE(sink.utf8().find("正在 采集源码（HTTP 404）、整理源码"), std::string::npos);
    EXPECT_EQ(titles(id), std::vector<std::string>{"仍然可用"});
}

// A site's validators come back as header lines, and only those the site gave: one that could
// not be sent, or a date that could hide a change, is not kept, and our own clock never stands in.
TEST(PageVisitsValidators, OnlyTheSitesOwnTrustworthyValidatorsAreSentBack) {
    const std::string past = "Tue, 01 Jan 2019 00:00:00 GMT";
    struct Case {
        const char* what;
        std::string etag, lastModified, date;
        std::string headers;
    } cases[] = {
        {"an ETag", "\"v1\"", "", "", "\r\nIf-None-Match: \"v1\""},
        {"both", "\"v1\"", past, "", "\r\nIf-None-Match: \"v1\"\r\nIf-Modified-Since: " + past},
        {"a past date", "", past, "Wed, 02 Jan 2019 00:00:00 GMT", "\r\nIf-Modified-Since: " + past},
        {"no validator: nothing of our clock", "", "", "", ""},
        {"an ETag that breaks a line", "\"a\rX-Evil: 1\"", "", "", ""},
        {"a huge ETag", std::string(90 * 1024, 'e'), past, "", "\r\nIf-Modified-Since: " + past},
        {"line breaks everywhere", "x\ny", "a\rb", "", ""},
        {"a date far ahead", "", "Fri, 31 Dec 9999 23:59:59 GMT", "", ""},
        {"a date next year", "", "Tue, 01 Jan 2030 00:00:00 GMT", "", ""},
        {"the very second it was served", "", past, past, ""},
        {"after the site's own Date", "", past, "Mon, 31 Dec 2018 00:00:00 GMT", ""},
        {"no date at all", "", "yesterday", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PageVisits visits;
        FetchResult visit;
        visit.etag = c.etag;
        visit.lastModified = c.lastModified;
        visit.date = c.date;
        visits.remember(1, "f", visit);
        EXPECT_EQ(visits.conditionalHeaders(1, "f"), c.headers);
        EXPECT_EQ(visits.conditionalHeaders(1, "another plan text"), "");
    }
}

// Validators that never change (a site's bug) hide at most a day: a visit a day old asks
// nothing, and the page comes whole.
TEST_F(Fetching, APageIsFetchedWholeOnceADayWhateverItsValidatorsSay) {
    std::vector<std::string> asked;
    std::atomic<int> whole{0};
    slow.server().Get("/stuck.html", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard g(m);
            asked.push_back(req.get_header_value("If-None-Match"));
        }
        res.set_header("ETag", "\"stuck\"");
        if (req.get_header_value("If-None-Match") == "\"stuck\"") {
            res.status = 304;
            return;
        }
        res.set_content(listPage({{++whole, "一天一篇"}}, false), "text/html");
    });
    PlanRowValues spec;
    spec.url = "http://127.0.0.1:" + std::to_string(slow.port()) + "/stuck.html";
    spec.type = "8";  // by article id: each whole page brings one new
    const int id = addPlan(spec);
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(monitoring->planRunner().runPlan(id).kind, PlanRunOutcome::Kind::PageUnchanged);
    ASSERT_TRUE(db.run(Statement("update page_visits set visited=visited-86400 where planid=?", {id})).ok);
    EXPECT_EQ(monitoring->planRunner().runPlan(id).kind, PlanRunOutcome::Kind::Stored);
    std::lock_guard g(m);
    EXPECT_EQ(asked, (std::vector<std::string>{"", "\"stuck\"", ""}));
    EXPECT_EQ(articleCount(), 2);
}

TEST(SettingsParallel, AHandWrittenValueThatIsNoNumberMeansTheDefault) {
    test::TempDir dir;
    for (const auto& [text, expected] : std::vector<std::pair<std::string, int>>{
             {"abc", 16}, {"0", 16}, {"99", 16}, {"", 16}, {"4", 4}, {"64", 64}}) {
        SCOPED_TRACE(text);
        test::writeFile(dir / "tovimo.ini", gbk("[配置]\r\n并发=") + text + "\r\n");
        EXPECT_EQ(Settings(dir / "tovimo.ini").parallelFetches(), expected);
    }
}

}  // namespace
}  // namespace tovi
