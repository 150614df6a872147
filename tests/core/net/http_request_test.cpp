#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "core/net/CurlTransfer.h"
#include "core/net/Decode.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/HttpRequest.h"
#include "core/net/TransferPool.h"
#include "core/text/Gbk.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::HttpTestServer;
using test::RawHttpServer;

// Splits a raw request into its header lines (request line dropped).
std::vector<std::string> headerLines(const std::string& raw) {
    std::vector<std::string> lines;
    std::size_t pos = raw.find("\r\n");
    while (pos != std::string::npos) {
        std::size_t next = raw.find("\r\n", pos + 2);
        if (next == std::string::npos || next == pos + 2) break;
        lines.push_back(raw.substr(pos + 2, next - pos - 2));
        pos = next;
    }
    return lines;
}

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

// A page sent one byte every 100 ms (10 B/s) until stop is set.
void trickle(httplib::Response& res, const std::atomic<bool>& stop) {
    res.set_chunked_content_provider("text/html", [&stop](std::size_t, httplib::DataSink& sink) {
        for (int k = 0; k < 100 && !stop; ++k) {
            if (!sink.write("x", 1)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        sink.done();
        return true;
    });
}

TEST(HttpRequestWire, PipelineCallSendsExactHeaderLinesInOrder) {
    RawHttpServer raw(kOk);
    std::string url = raw.url("/list.html");
    std::string cookie = "sid=1";
    FetchResult r = fetchForMonitoring(url, cookie, "User-Agent: TestAgent/1.0");
    EXPECT_EQ(r.body, "ok");
    ASSERT_TRUE(raw.waitForRequests(1));
    auto lines = headerLines(raw.requests()[0]);
    // Compressed pages are welcome: the library puts that line right after Host.
    std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(raw.port()),
                                         "Accept-Encoding: gzip, deflate",
                                         "Cookie: sid=1",
                                         "User-Agent: TestAgent/1.0",
                                         "Accept: */*",
                                         "Referer: " + url,
                                         "Accept-Language: zh-cn",
                                         "Content-Type: application/x-www-form-urlencoded"};
    EXPECT_EQ(lines, expected);
}

TEST(HttpRequestWire, DefaultsAndCaseSensitivePresenceTests) {
    struct Case {
        const char* cookie;
        const char* extra;
        std::vector<std::string> expected;  // after Host
    } cases[] = {
        {"",
         "",
         {"Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
          std::string("User-Agent: ") + kDefaultUserAgent,
          "Content-Type: application/x-www-form-urlencoded"}},
        // A lower-case caller line does not suppress the default; the caller's comes first.
        {"",
         "accept: text/html",
         {"accept: text/html", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
          std::string("User-Agent: ") + kDefaultUserAgent,
          "Content-Type: application/x-www-form-urlencoded"}},
        // A plan without user agent sends an empty one instead of the default.
        {"",
         "User-Agent: ",
         {"User-Agent:", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
          "Content-Type: application/x-www-form-urlencoded"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        RawHttpServer raw(kOk);
        std::string url = raw.url("/p");
        std::string cookie = c.cookie;
        fetchForMonitoring(url, cookie, c.extra);
        ASSERT_TRUE(raw.waitForRequests(1));
        auto lines = headerLines(raw.requests()[0]);
        ASSERT_FALSE(lines.empty());
        lines.erase(lines.begin());  // Host
        std::vector<std::string> expected = {"Accept-Encoding: gzip, deflate"};
        for (std::string e : c.expected) {
            if (e == "Referer: URL") e = "Referer: " + url;
            expected.push_back(e);
        }
        EXPECT_EQ(lines, expected);
    }
}

class HttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& s = server.server();
        s.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(gbk("<ul><li>新闻</li></ul>"), "text/html");
        });
        s.Get("/r1", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/r2"); });
        s.Get("/r2", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        s.Get("/cookies", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("set-cookie", "a=9; path=/");
            res.set_header("SET-COOKIE", "sid=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT");
            res.set_header("Set-Cookie", "t=1");
            res.set_header("Set-Cookie", "t=1");
            res.set_content("c", "text/plain");
        });
        s.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            res.set_content("late", "text/plain");
        });
        s.Get("/echo-cookie", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard g(seenMutex);
            cookiesSeen.push_back(req.get_header_value("Cookie"));
            // The site sets again what it received, as a session cookie refresh does.
            res.set_header("Set-Cookie", req.get_header_value("Cookie") + "; path=/");
            res.set_content("c", "text/plain");
        });
        s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/hostname");
        });
        s.Get("/to-gopher", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("gopher://127.0.0.1:1/");
        });
        s.Get("/zero", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("before\0after", 12), "text/plain");
        });
        s.Get(R"(/(.*))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("path=" + req.path + " q=" + req.get_param_value("q"), "text/plain");
        });
        server.start();
    }
    // The data the handlers use is declared first, so it outlives the server's thread.
    std::mutex seenMutex;
    std::vector<std::string> cookiesSeen;
    HttpTestServer server;
};

TEST_F(HttpRequestTest, FetchesPagesRedirectsAndErrorBodies) {
    std::string cookie;
    EXPECT_EQ(fetchForMonitoring(server.url("/page"), cookie, "").body, gbk("<ul><li>新闻</li></ul>"));
    EXPECT_EQ(fetchForMonitoring(server.url("/r1"), cookie, "").body, gbk("<ul><li>新闻</li></ul>"));
    FetchResult missing = fetchForMonitoring(server.url("/missing"), cookie, "");
    EXPECT_EQ(missing.body, "not here");  // an error status is not a failure here
    EXPECT_EQ(missing.status, 404);
    FetchResult zero = fetchForMonitoring(server.url("/zero"), cookie, "");
    EXPECT_EQ(zero.body.size(), 12u);
    EXPECT_EQ(decodeBody(zero.body, true), "beforeafter");
}

TEST_F(HttpRequestTest, ResponseCookiesMergeIntoTheCallersCookie) {
    std::string cookie = "sid=x; a=1; uid=7";
    fetchForMonitoring(server.url("/cookies"), cookie, "User-Agent: T");
    EXPECT_EQ(cookie, "a=9; t=1; uid=7");
    // No Set-Cookie: the caller's cookie comes back normalised.
    std::string plain = "k = v;m=1";
    fetchForMonitoring(server.url("/page"), plain, "");
    EXPECT_EQ(plain, "k=v; m=1");
}

TEST_F(HttpRequestTest, ChineseCookieSurvivesVisitsUnchanged) {
    const std::string start = gbk("name=张三; city=北京");
    std::string cookie = start;
    for (int visit = 0; visit < 3; ++visit) fetchForMonitoring(server.url("/echo-cookie"), cookie, "");
    EXPECT_EQ(cookie, start);
    ASSERT_EQ(cookiesSeen.size(), 3u);
    EXPECT_EQ(cookiesSeen[0], "name=张三; city=北京");  // UTF-8 on the wire
    EXPECT_EQ(cookiesSeen[2], cookiesSeen[0]);
}

TEST_F(HttpRequestTest, OnlyWebPagesAreFetchedAlsoAfterRedirects) {
    test::TempDir dir;
    test::writeFile(dir / "secret.txt", "top secret");
    for (const std::string& url :
         {"file://" + (dir / "secret.txt").string(), server.url("/to-file"), server.url("/to-gopher"),
          std::string("dict://127.0.0.1:1/x"), std::string("ftp://127.0.0.1:1/")}) {
        SCOPED_TRACE(url);
        std::string cookie;
        FetchResult r = fetchForMonitoring(url, cookie, "");
        EXPECT_EQ(r.body.find("secret"), std::string::npos);
        EXPECT_FALSE(r.error.empty());
        FetchResult d = fetchForTest(url, "", "");
        EXPECT_EQ(d.body.find("secret"), std::string::npos);
        EXPECT_FALSE(d.error.empty());
    }
}

TEST(HttpRequestWire, LineBreaksNeverReachTheWire) {
    RawHttpServer raw(kOk);
    for (const std::string& agent : {std::string("a\nHost: evil.example"), std::string("a\rX-Evil: 1")}) {
        std::string cookie;
        FetchResult r = fetchForMonitoring(raw.url("/x"), cookie, "User-Agent: " + agent);
        EXPECT_TRUE(r.body.empty());
        EXPECT_FALSE(r.error.empty());
        FetchResult d = fetchForTest(raw.url("/x"), "", "User-Agent: " + agent);
        EXPECT_TRUE(d.body.empty());
    }
    std::string cookie = "a=1\nHost: evil.example";
    EXPECT_TRUE(fetchForMonitoring(raw.url("/x"), cookie, "").body.empty());
    EXPECT_TRUE(raw.requests().empty());
}

TEST_F(HttpRequestTest, ChineseUrlReachesServerAsUtf8) {
    std::string cookie;
    FetchResult r = fetchForMonitoring(server.url(gbk("/搜索?q=新闻")), cookie, "");
    EXPECT_EQ(r.body, "path=/搜索 q=新闻");  // the server decodes the percent-encoded UTF-8
}

TEST_F(HttpRequestTest, StalledResponseGivesEmptyBody) {
    FetchLimits limits;
    limits.stallTimeout = std::chrono::milliseconds(1000);
    limits.overallTimeout = std::chrono::milliseconds(1500);
    std::string cookie = "a=1";
    FetchResult r = fetchForMonitoring(server.url("/slow"), cookie, "", {}, limits);
    EXPECT_TRUE(r.body.empty());
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(cookie, "a=1");
}

// A site that trickles its page ends early with the reason, whatever it still promises.
TEST(HttpRequestFailures, ATricklingSiteIsGivenUpWithTheReason) {
    std::atomic<bool> stop{false};
    HttpTestServer site;
    site.server().Get("/trickle",
                      [&](const httplib::Request&, httplib::Response& res) { trickle(res, stop); });
    site.start();
    FetchLimits limits;
    limits.stallTimeout = std::chrono::milliseconds(1000);  // 10 B/s is below the 1 KB/s floor
    std::string cookie;
    FetchResult r = fetchForMonitoring(site.url("/trickle"), cookie, "", {}, limits);
    stop = true;
    EXPECT_TRUE(r.body.empty());
    EXPECT_NE(r.error.find(gbk("网站太慢")), std::string::npos) << gbkToUtf8(r.error);
}

TEST(HttpRequestFailures, NeverThrowAlwaysEmpty) {
    std::string cookie;
    for (const std::string& url :
         {std::string("http://127.0.0.1:") + std::to_string(test::unusedLoopbackPort()) + "/",
          std::string("not a url at all"), std::string("http://no-such-host.invalid/"), std::string("")}) {
        SCOPED_TRACE(url);
        FetchResult r = fetchForMonitoring(url, cookie, "");
        EXPECT_TRUE(r.body.empty());
        EXPECT_FALSE(r.error.empty());
        FetchResult d = fetchForTest(url, "", "");
        EXPECT_TRUE(d.body.empty());
    }
}

TEST(HttpRequestCancel, StopRequestAbortsAHangingFetch) {
    RawHttpServer hanging("", /*hang=*/true);
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        hanging.waitForRequests(1);
        stop = true;
    });
    FetchLimits limits;
    limits.overallTimeout = std::chrono::milliseconds(30000);
    std::string cookie;
    FetchResult r = fetchForMonitoring(
        hanging.url("/"), cookie, "", [&] { return stop.load(); }, limits);
    stopper.join();
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.body.empty());

    std::atomic<bool> stop2{false};
    std::thread stopper2([&] {
        hanging.waitForRequests(2);
        stop2 = true;
    });
    FetchResult d = fetchForTest(hanging.url("/"), "", "", [&] { return stop2.load(); });
    stopper2.join();
    EXPECT_TRUE(d.cancelled);
}

TEST(DirectHttpRequestWire, AgentFromHeadersCookieAsLine) {
    struct Case {
        const char* cookie;
        const char* extra;
        std::vector<std::string> expected;  // after Host
    } cases[] = {
        {"a=1",
         "User-Agent: Ed/2",
         {"User-Agent: Ed/2", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
          "Content-Type: application/x-www-form-urlencoded", "Cookie: a=1"}},
        // A lower-case name is missed by the marker search; the fallback takes its value, and
        // the caller's own line stands for it on the wire (one agent header, not two).
        {"",
         "user-agent: X",
         {"user-agent: X", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
          "Content-Type: application/x-www-form-urlencoded"}},
        {"",
         "",
         {std::string("User-Agent: ") + kDefaultUserAgent, "Accept: */*", "Referer: URL",
          "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        RawHttpServer raw(kOk);
        std::string url = raw.url("/t?x=1");
        FetchResult r = fetchForTest(url, c.cookie, c.extra);
        EXPECT_EQ(r.body, "ok");
        ASSERT_TRUE(raw.waitForRequests(1));
        std::string request = raw.requests()[0];
        EXPECT_EQ(request.rfind("GET /t?x=1 HTTP/1.1\r\n", 0), 0u) << request;
        auto lines = headerLines(request);
        ASSERT_FALSE(lines.empty());
        lines.erase(lines.begin());
        std::vector<std::string> expected;
        for (std::string e : c.expected) expected.push_back(e == "Referer: URL" ? "Referer: " + url : e);
        EXPECT_EQ(lines, expected);
    }
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// A certificate nobody trusts: the monitoring fetch takes the page, the plan test refuses it.
TEST(HttpsUntrustedCertificate, MonitoringIgnoresPlanTestRefuses) {
    test::TempDir dir;
    std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" +
                      (dir / "key.pem").string() + "' -out '" + (dir / "cert.pem").string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "openssl is not available to make a certificate";
    httplib::SSLServer tls((dir / "cert.pem").c_str(), (dir / "key.pem").c_str());
    ASSERT_TRUE(tls.is_valid());
    tls.Get("/list",
            [](const httplib::Request&, httplib::Response& res) { res.set_content("secure", "text/plain"); });
    int port = tls.bind_to_any_port("127.0.0.1");
    std::thread t([&] { tls.listen_after_bind(); });
    while (!tls.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::string url = "https://127.0.0.1:" + std::to_string(port) + "/list";

    std::string cookie;
    EXPECT_EQ(fetchForMonitoring(url, cookie, "").body, "secure");
    FetchResult direct = fetchForTest(url, "", "");
    EXPECT_TRUE(direct.body.empty());
    EXPECT_FALSE(direct.error.empty());
    tls.stop();
    t.join();
}

// A plan's login cookie reaches its own site only: a redirect to another scheme, host or port
// goes without it, however the site spells the target.
TEST(Redirects, CredentialsStayWithTheFirstOrigin) {
    struct Case {
        const char* from;
        const char* location;  // as the site wrote it
        const char* target;    // as libcurl resolves it
        bool keepsCookie;
    } cases[] = {
        {"http://a.example/x", "/y", "http://a.example/y", true},
        {"http://a.example/x", "http://a.example:80/y", "http://a.example/y", true},
        {"http://a.example/x", "http://b.example/y", "http://b.example/y", false},
        {"http://a.example/x", "//b.example/y", "http://b.example/y", false},
        {"http://a.example/x", "http://a.example:8080/y", "http://a.example:8080/y", false},
        {"http://a.example/x", "https://a.example/y", "https://a.example/y", false},
        {"https://a.example/x", "http://a.example/y", "http://a.example/y", false},
        {"http://127.0.0.1:81/x", "http://127.1:81/y", "http://127.0.0.1:81/y", false},
        {"http://A.Example/x", "http://a.example/y", "http://a.example/y", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.location);
        CurlGet get;
        get.url = c.from;
        get.headers = {"Cookie: auth=secret", "Authorization: Basic eA==", "User-Agent: T"};
        CurlResponse response;
        response.redirectTo = c.target;
        response.location = c.location;
        auto next = followRedirect(get, response);
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->url, c.target);
        const bool cookie = std::find(next->headers.begin(), next->headers.end(), "Cookie: auth=secret") !=
                            next->headers.end();
        EXPECT_EQ(cookie, c.keepsCookie);
        EXPECT_EQ(next->leftOrigin, !c.keepsCookie);
        EXPECT_NE(std::find(next->headers.begin(), next->headers.end(), "User-Agent: T"),
                  next->headers.end());
        // Once left, the cookie never comes back, not even on a way home.
        if (!c.keepsCookie) {
            CurlResponse home;
            home.redirectTo = home.location = c.from;
            auto back = followRedirect(*next, home);
            ASSERT_TRUE(back.has_value());
            EXPECT_TRUE(back->leftOrigin);
        }
    }
    // Chains end: at the eleventh redirect, and at a target that is no web page.
    CurlGet get;
    get.url = "http://a.example/";
    get.redirects = kMaxRedirects;
    CurlResponse more;
    more.redirectTo = more.location = "http://a.example/again";
    EXPECT_FALSE(followRedirect(get, more).has_value());
    EXPECT_FALSE(more.result.error.empty());
    get.redirects = 0;
    CurlResponse file;
    file.redirectTo = file.location = "file:///etc/passwd";
    EXPECT_FALSE(followRedirect(get, file).has_value());
    EXPECT_FALSE(file.result.error.empty());
}

TEST(Redirects, TheCookieNeverReachesAnotherSiteOnTheWire) {
    std::mutex m;
    std::vector<std::string> seenByOther, seenByOwn;
    HttpTestServer other;
    other.server().Get("/land", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(m);
        seenByOther.push_back(req.get_header_value("Cookie") + "|" + req.get_header_value("Authorization"));
        res.set_header("Set-Cookie", "stolen=1");
        res.set_content("other site", "text/plain");
    });
    other.start();
    HttpTestServer own;
    own.server().Get("/to-other-port", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(other.url("/land"));
    });
    own.server().Get("/to-other-host", [&](const httplib::Request& req, httplib::Response& res) {
        // The same server under another name.
        res.set_redirect("http://localhost:" +
                         std::to_string(std::stoi(req.get_header_value("Host").substr(
                             req.get_header_value("Host").rfind(':') + 1))) +
                         "/land");
    });
    own.server().Get("/land", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(m);
        seenByOwn.push_back(req.get_header_value("Cookie"));
        res.set_content("own site", "text/plain");
    });
    own.server().Get("/to-own-path",
                     [&](const httplib::Request&, httplib::Response& res) { res.set_redirect("/land"); });
    own.start();
    for (const char* path : {"/to-other-port", "/to-other-host"}) {
        SCOPED_TRACE(path);
        std::string cookie = "auth=secret";
        FetchResult run = fetchForMonitoring(own.url(path), cookie, "Authorization: Basic eA==");
        EXPECT_FALSE(run.body.empty());
        EXPECT_EQ(cookie, "auth=secret");  // the other site's cookie does not join the plan's
        FetchResult test = fetchForTest(own.url(path), "auth=secret", "User-Agent: T");
        EXPECT_FALSE(test.body.empty());
        TransferPool pool(TransferLimits{2});
        Result<CurlGet> get = monitorRequest(own.url(path), "auth=secret", "", FetchLimits{});
        ASSERT_TRUE(get.ok());
        auto ticket = pool.submit(*get, "own");
        CurlResponse pooled = pool.take(ticket, {});
        pool.release(ticket);
        EXPECT_FALSE(pooled.result.body.empty());
        EXPECT_TRUE(pooled.leftOrigin);
    }
    {
        std::lock_guard g(m);
        for (const std::string& seen : seenByOther) EXPECT_EQ(seen, "|");
        for (const std::string& seen : seenByOwn) EXPECT_EQ(seen, "");  // reached as "localhost"
        EXPECT_EQ(seenByOther.size() + seenByOwn.size(), 6u);
    }
    // Within its own site the cookie goes along.
    std::string cookie = "auth=secret";
    fetchForMonitoring(own.url("/to-own-path"), cookie, "");
    std::lock_guard g(m);
    EXPECT_EQ(seenByOwn.back(), "auth=secret");
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// The pool runs ahead of its caller only as far as the bound on held pages: pages fetched but
// not let go stop further transfers, except the one the caller will want next.
TEST(TransferPoolLimits, FewerFetchesInFlightHoldLessAhead) {
    struct Case {
        int transfers;
        std::size_t bytes;
        int pages;
    } cases[] = {{1, 8u << 20, 32},    {4, 16u << 20, 64},   {8, 32u << 20, 128},
                 {16, 64u << 20, 256}, {64, 64u << 20, 256}, {0, 8u << 20, 32}};
    for (const Case& c : cases) {
        const TransferLimits l = TransferLimits::forTransfers(c.transfers);
        EXPECT_EQ(l.heldBytes, c.bytes) << c.transfers;
        EXPECT_EQ(l.heldPages, c.pages) << c.transfers;
        EXPECT_EQ(l.transfers, std::max(1, c.transfers));
    }
}

TEST(TransferPoolLimits, FetchedPagesNotLetGoBoundHowFarThePoolRunsAhead) {
    test::HttpTestServer site;
    std::atomic<int> asked{0};
    site.server().Get(R"(/p(\d+))", [&](const httplib::Request&, httplib::Response& res) {
        ++asked;
        res.set_content("<p>page</p>", "text/html");
    });
    site.start();
    TransferLimits limits;
    limits.heldPages = 4;
    TransferPool pool(limits);
    std::vector<TransferPool::Ticket> tickets;
    for (int i = 0; i < 12; ++i) {
        Result<CurlGet> get = monitorRequest(site.url("/p" + std::to_string(i)), "", "", FetchLimits{});
        ASSERT_TRUE(get.ok());
        tickets.push_back(pool.submit(*get, "site" + std::to_string(i % 6)));
    }
    for (int k = 0; k < 4; ++k) EXPECT_FALSE(pool.take(tickets[k], {}).result.body.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // time to run ahead, if it would
    EXPECT_EQ(asked.load(), 4);
    // Asked for a page past the bound, the pool fetches that one.
    EXPECT_FALSE(pool.take(tickets[6], {}).result.body.empty());
    EXPECT_EQ(asked.load(), 5);
    // Pages let go make room for the next ones in order; one let go before it started never is.
    pool.release(tickets[5]);
    for (int k = 0; k < 4; ++k) pool.release(tickets[k]);
    for (int k : {4, 7, 8, 9}) EXPECT_FALSE(pool.take(tickets[k], {}).result.body.empty()) << k;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(asked.load(), 9);
}

// A site that breaks off its answer on a kept connection (half an answer, then closed) costs no
// page: the request goes once more over a new connection.
TEST(TransferPoolLimits, AnAnswerBrokenOffOnAKeptConnectionIsAskedAgainOnANewOne) {
    const std::string page(100000, 'p');
    std::mutex m;
    std::set<int> seenPorts;
    int cut = 0;
    test::HttpTestServer site;
    site.server().Get(R"(/p(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
        bool kept;
        {
            std::lock_guard g(m);
            kept = !seenPorts.insert(req.remote_port).second;
            if (kept) ++cut;
        }
        res.set_content_provider(
            page.size(), "text/html",
            [&page, kept](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (kept && offset > 0) return false;  // half, then closed
                sink.write(page.data() + offset,
                           std::min<std::size_t>(page.size() - offset, kept ? 50000 : page.size()));
                return true;
            });
    });
    site.start();
    TransferLimits limits;
    limits.perHost = 1;
    TransferPool pool(limits);
    for (int i = 0; i < 4; ++i) {
        Result<CurlGet> get = monitorRequest(site.url("/p" + std::to_string(i)), "", "", FetchLimits{});
        ASSERT_TRUE(get.ok());
        auto ticket = pool.submit(*get, "site");
        const CurlResponse r = pool.take(ticket, {});
        EXPECT_EQ(r.result.body.size(), page.size()) << i << ": " << r.result.error;
        pool.release(ticket);
    }
    std::lock_guard g(m);
    EXPECT_GE(cut, 1);  // the site did break off answers on kept connections
}

// Pages still arriving count in the bytes bound: sixteen large pages fetched ahead take about
// the bound, not sixteen pages; the caller still gets every one of them whole.
TEST(TransferPoolLimits, PagesStillArrivingCountInTheBytesBound) {
    const std::string big(8u << 20, 'x');
    test::HttpTestServer site;
    site.server().Get(R"(/big(\d+))", [&](const httplib::Request&, httplib::Response& res) {
        // Streamed from the one copy: the server's side takes no memory of its own per page.
        res.set_content_provider(
            big.size(), "text/html", [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                sink.write(big.data() + offset, std::min<std::size_t>(length, 64 * 1024));
                return true;
            });
    });
    site.server().set_write_timeout(60, 0);  // a reader held back for a while is no failure
    site.start();
    TransferLimits limits;
    limits.heldBytes = 16u << 20;
    limits.perHost = 16;
    auto peakKiB = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_maxrss;
    };
    const long before = peakKiB();
    TransferPool pool(limits);
    std::vector<TransferPool::Ticket> tickets;
    for (int i = 0; i < 16; ++i) {
        Result<CurlGet> get = monitorRequest(site.url("/big" + std::to_string(i)), "", "", FetchLimits{});
        ASSERT_TRUE(get.ok());
        tickets.push_back(pool.submit(*get, "site"));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // time to run ahead, if it would
    for (auto& ticket : tickets) {
        EXPECT_EQ(pool.take(ticket, {}).result.body.size(), big.size());
        pool.release(ticket);
    }
    // Without the bound the sixteen pages arrive at once: 128 MB and more.
    EXPECT_LT(peakKiB() - before, 72 * 1024);
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// A site given up as too slow is not asked again for the pages queued behind it in the same
// pass: they end at once with the reason, other sites go on, and a later pass tries again.
TEST(TransferPoolLimits, ASiteGivenUpAsTooSlowIsNotAskedAgainForThePagesQueuedBehindIt) {
    std::atomic<bool> stop{false};
    std::atomic<int> trickled{0};
    test::HttpTestServer site;
    site.server().Get(R"(/slow/(\d+))", [&](const httplib::Request&, httplib::Response& res) {
        ++trickled;
        trickle(res, stop);
    });
    site.server().Get("/fast", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<p>page</p>", "text/html");
    });
    site.start();
    FetchLimits limits;
    limits.stallTimeout = std::chrono::milliseconds(1000);
    auto request = [&](const std::string& path) {
        Result<CurlGet> get = monitorRequest(site.url(path), "", "", limits);
        EXPECT_TRUE(get.ok());
        return *get;
    };
    TransferPool pool;
    std::vector<TransferPool::Ticket> tickets;
    for (int i = 0; i < 6; ++i) tickets.push_back(pool.submit(request("/slow/" + std::to_string(i)), "slow"));
    tickets.push_back(pool.submit(request("/fast"), "fast"));
    std::vector<CurlResponse> responses;
    for (auto& t : tickets) {
        responses.push_back(pool.take(t, {}));
        pool.release(t);
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(responses[i].result.body.empty()) << i;
        EXPECT_NE(responses[i].result.error.find(gbk("网站太慢")), std::string::npos)
            << i << ": " << gbkToUtf8(responses[i].result.error);
    }
    EXPECT_EQ(trickled.load(), 2);  // the two that ran side by side; the other four never asked
    EXPECT_EQ(responses[6].result.body, "<p>page</p>");
    // The next pass asks the site again.
    auto again = pool.submit(request("/slow/9"), "slow");
    pool.take(again, {});
    pool.release(again);
    stop = true;
    EXPECT_EQ(trickled.load(), 3);
}

}  // namespace
}  // namespace tovi
