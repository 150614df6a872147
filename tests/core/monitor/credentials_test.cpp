// What a plan sends that it must keep to itself: the user's login (a cookie, a user and password
// in its URL) and the cookies a site sets, across redirects, certificates and refills.
#include <gtest/gtest.h>
#include <httplib.h>

#include "core/net/HttpHeaders.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;
using test::PlanRowValues;

class Credentials : public test::EngineFixture {};

std::string headerOf(const test::HttpTestServer::Seen& seen, const std::string& name) {
    auto it = seen.headers.find(name);
    return it == seen.headers.end() ? std::string() : it->second;
}

// A password in the plan's URL never travels as Referer, and another site learns only where the
// visit came from, not the page.
TEST_F(Credentials, ARefererCarriesNoPasswordAndOnlyTheOriginToAnotherSite) {
    test::HttpTestServer elsewhere;
    elsewhere.server().Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(listPage({{1, "别处"}}, false), "text/html");
    });
    elsewhere.start();
    test::HttpTestServer site;
    site.server().Get("/moved.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(elsewhere.url("/page.html"));
    });
    site.start();
    PlanRowValues spec;
    const std::string at = "127.0.0.1:" + std::to_string(site.port());
    spec.url = "http://alice:PASSWORD@" + at + "/moved.html?sid=9#top";
    const int id = addPlan(spec);
    monitoring->planRunner().runPlan(id);
    ASSERT_EQ(titles(id), std::vector<std::string>{"别处"});
    std::vector<std::string> referers;
    for (const auto& seen : site.requests())
        if (seen.path == "/moved.html") referers.push_back(headerOf(seen, "Referer"));
    const auto seenThere = elsewhere.requests();
    ASSERT_EQ(seenThere.size(), 1u);
    const auto& there = seenThere[0];
    EXPECT_EQ(referers, std::vector<std::string>{"http://" + at + "/moved.html?sid=9"});
    EXPECT_EQ(headerOf(there, "Referer"), "http://" + at + "/");
    EXPECT_EQ(headerOf(there, "Authorization"), "");
}

// Only what the user gave is a login that makes a run check the certificate: cookies the site
// set itself (a session id) do not, a user and password in the URL do.
TEST_F(Credentials, OnlyTheUsersOwnLoginMakesARunCheckTheCertificate) {
    struct Case {
        const char* what;
        std::string url, cookie, siteSet;
        bool verifies;
    } cases[] = {
        {"nothing", "https://127.0.0.1:9/list.html", "", "", false},
        {"a session the site set", "https://127.0.0.1:9/list.html", "", "PHPSESSID=abc", false},
        {"the user's cookie", "https://127.0.0.1:9/list.html", "auth=1", "", true},
        {"the user's cookie and the site's", "https://127.0.0.1:9/list.html", "auth=1", "PHPSESSID=abc",
         true},
        {"a password in the URL", "https://bob:pw@127.0.0.1:9/list.html", "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlanRowValues spec;
        spec.url = c.url;
        spec.cookie = c.cookie;
        const int id = addPlan(spec);
        if (!c.siteSet.empty()) {
            std::string merged = c.cookie, received = c.siteSet;
            mergeCookies(merged, received);
            monitoring->planTable().setCookie(id, merged);
        }
        reloadPlanTable();  // as the window's refresh and each cycle of `run --cycles` do
        auto prepared = monitoring->planRunner().prepareFetch(id);
        ASSERT_TRUE(prepared.has_value());
        EXPECT_EQ(prepared->request.verifyTls, c.verifies);
        EXPECT_EQ(std::count_if(prepared->request.headers.begin(), prepared->request.headers.end(),
                                [&](const std::string& h) {
                                    return !c.siteSet.empty() && h.find(c.siteSet) != std::string::npos;
                                }),
                  c.siteSet.empty() ? 0 : 1);
    }
}

// A site that renews its session on every visit keeps it across refills of the plans (each
// cycle of `run --cycles`, the window's refresh); one that sets a new cookie every visit never
// grows the header without bound; a cookie the user edits starts afresh.
TEST_F(Credentials, CookiesTheSiteSetsAreKeptBoundedAndDroppedWhenTheUserEditsTheCookie) {
    std::atomic<int> visit{0};
    std::vector<std::string> sent;  // under pagesMutex while the site runs
    test::HttpTestServer site;
    site.server().Get("/session.html", [&](const httplib::Request& req, httplib::Response& res) {
        const int n = ++visit;
        {
            std::lock_guard g(pagesMutex);
            sent.push_back(req.get_header_value("Cookie"));
        }
        res.set_header("Set-Cookie", "sid=" + std::to_string(n) + "; Path=/");
        res.set_header("Set-Cookie", "track" + std::to_string(n) + "=" + std::string(200, 'x'));
        res.set_content(listPage({{1, "会话"}}, false), "text/html");
    });
    site.start();
    PlanRowValues spec;
    spec.url = site.url("/session.html");
    spec.cookie = "auth=me";
    const int id = addPlan(spec);
    auto cookiesSent = [&] {
        std::lock_guard g(pagesMutex);
        return std::exchange(sent, {});
    };
    for (int i = 0; i < 80; ++i) {
        monitoring->planRunner().runPlan(id);
        reloadPlanTable();
    }
    const std::vector<std::string> all = cookiesSent();
    ASSERT_EQ(all.size(), 80u);
    EXPECT_EQ(all[0], "auth=me");
    EXPECT_EQ(all[1].rfind("sid=1;", 0), 0u) << all[1];
    EXPECT_EQ(all[79].rfind("sid=79;", 0), 0u);
    for (const std::string& cookie : all) EXPECT_LE(cookie.size(), 4096u);
    // The user writes a new cookie: what the site set under the old one is not sent with it.
    db.run(Statement("update rule set cookie='auth=new' where id=?", {id}));
    reloadPlanTable();
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(cookiesSent(), std::vector<std::string>{"auth=new"});
    // Another plan under the same id (deleted, then one imported into the freed id), or the
    // plan pointed at another page: the old site's cookies never go to it.
    monitoring->planRunner().runPlan(id);
    ASSERT_NE(cookiesSent().at(0), "auth=new");  // the site's session joined again
    db.run(Statement("update rule set url=? where id=?", {site.url("/session.html?other"), id}));
    reloadPlanTable();
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(cookiesSent(), std::vector<std::string>{"auth=new"});
}

}  // namespace
}  // namespace tovi
