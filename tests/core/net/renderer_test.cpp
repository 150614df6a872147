// Pages built by their scripts, loaded in the system's Chromium from servers on 127.0.0.1.
#include "core/net/Renderer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/net/Browser.h"
#include "core/text/Gbk.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using namespace std::chrono_literals;

// This test's browser processes (their profiles are made under the test's own temporary
// directory, so other tests' browsers running at the same time are neither counted nor touched).
std::vector<int> browserProcesses(const std::string& marker) {
    std::vector<int> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process may end while it is read (the read then fails with ESRCH): not counted.
        std::string args;
        try {
            std::ifstream cmdline(entry.path() / "cmdline");
            args.assign(std::istreambuf_iterator<char>(cmdline), {});
        } catch (const std::exception&) {
            continue;
        }
        if (args.find(marker) != std::string::npos) pids.push_back(std::stoi(name));
    }
    return pids;
}

class Rendering : public ::testing::Test {
protected:
    void SetUp() override {
        if (!findChromium()) GTEST_SKIP() << "chromium is not installed";
        setenv("TMPDIR", tmp.path().c_str(), 1);
        auto& s = site.server();
        s.Get("/late.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<html><body><ul id='list'></ul><script>setTimeout(function(){var h='';"
                "for(var k=1;k<=5;k++)h+='<li><a href=\"/t/'+k+'\">第'+k+'篇</a></li>';"
                "document.getElementById('list').innerHTML=h;},300);</script></body></html>",
                "text/html; charset=utf-8");
        });
        s.Get("/json.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<html><body><ul id='list'></ul><script>fetch('/api/list.json').then(r=>r.json())"
                ".then(d=>{document.getElementById('list').innerHTML=d.items.map(i=>"
                "'<li><a href=\"'+i.url+'\">'+i.title+'</a></li>').join('');});</script></body></html>",
                "text/html; charset=utf-8");
        });
        s.Get("/api/list.json", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                R"({"items":[{"title":"\u4e00\u7bc7","url":"\/a\/1"},{"title":"two","url":"\/a\/2"}]})",
                "application/json");
        });
        s.Get("/login.html", [](const httplib::Request& req, httplib::Response& res) {
            const bool in = req.get_header_value("Cookie").find("sid=secret") != std::string::npos;
            res.set_content(std::string("<html><body><script>document.body.innerHTML='") +
                                (in ? "<p>members</p>" : "<p>guests</p>") + "';</script></body></html>",
                            "text/html");
        });
        s.Get("/elsewhere.html", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(other.url("/landing.html"));
        });
        s.Get("/image.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<html><body><img src='/pic.png'><link rel=stylesheet href='/s.css'>"
                "<iframe src='file:///etc/passwd'></iframe><p>ok</p></body></html>",
                "text/html");
        });
        s.Get("/pic.png",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "image/png"); });
        s.Get("/s.css",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/css"); });
        s.Get("/loop.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body><p>x</p><script>while(true){}</script></body></html>", "text/html");
        });
        other.server().Get("/landing.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>landed</body></html>", "text/html");
        });
        site.start();
        other.start();
    }
    void TearDown() override { unsetenv("TMPDIR"); }
    std::size_t browsers() const {
        return browserProcesses(tmp.path().string() + "/tovidesk-browser-").size();
    }
    test::TempDir tmp;
    test::HttpTestServer site, other;
};

TEST_F(Rendering, AListBuiltByAScriptAndOneFilledFromJson) {
    RenderLimits limits;
    limits.keepRequests = true;
    Renderer renderer(limits);
    const RenderedPage late = renderer.render({site.url("/late.html"), "", "TestAgent"});
    EXPECT_EQ(late.page.error, "");
    EXPECT_NE(late.page.body.find("<a href=\"/t/5\">第5篇</a>"), std::string::npos) << late.page.body;
    EXPECT_EQ(late.page.contentType, "text/html; charset=utf-8");
    EXPECT_EQ(site.requests().back().headers.find("User-Agent")->second, "TestAgent");

    const RenderedPage json = renderer.render({site.url("/json.html"), "", "TestAgent"});
    EXPECT_NE(json.page.body.find("<a href=\"/a/1\">一篇</a>"), std::string::npos) << json.page.body;
    ASSERT_EQ(json.requests.size(), 1u);
    EXPECT_NE(json.requests[0].url.find("/api/list.json"), std::string::npos);
    EXPECT_NE(json.requests[0].body.find("\\u4e00"), std::string::npos);
}

TEST_F(Rendering, TheCookieGoesToThePlansSiteOnly) {
    Renderer renderer;
    const RenderedPage member = renderer.render({site.url("/login.html"), "sid=secret", "UA"});
    EXPECT_NE(member.page.body.find("members"), std::string::npos)
        << gbkToUtf8(member.page.error) << member.page.body;
    EXPECT_NE(renderer.render({site.url("/login.html"), "", "UA"}).page.body.find("guests"),
              std::string::npos);
    const RenderedPage moved = renderer.render({site.url("/elsewhere.html"), "sid=secret", "UA"});
    EXPECT_NE(moved.page.body.find("landed"), std::string::npos) << moved.page.error;
    ASSERT_FALSE(other.requests().empty());
    for (const auto& seen : other.requests()) EXPECT_EQ(seen.headers.count("Cookie"), 0u) << seen.path;
}

// A page's frame asking for a local file gets nothing of it.
TEST_F(Rendering, NoPicturesStylesOrFilesAreLoaded) {
    Renderer renderer;
    const RenderedPage r = renderer.render({site.url("/image.html"), "", "UA"});
    EXPECT_NE(r.page.body.find("<p>ok</p>"), std::string::npos);
    for (const auto& seen : site.requests()) {
        EXPECT_NE(seen.path, "/pic.png");
        EXPECT_NE(seen.path, "/s.css");
    }
    EXPECT_EQ(r.page.body.find("root:"), std::string::npos);
}

TEST_F(Rendering, PagesThatNeverEndAreGivenUpAndNothingIsLeftRunning) {
    test::RawHttpServer hanging("", /*hang=*/true);
    {
        RenderLimits limits;
        limits.total = 5s;
        Renderer renderer(limits);
        const auto started = std::chrono::steady_clock::now();
        const RenderedPage never = renderer.render({hanging.url("/never.html"), "", "UA"});
        EXPECT_NE(gbkToUtf8(never.page.error).find("网站太慢"), std::string::npos)
            << gbkToUtf8(never.page.error);
        const RenderedPage loop = renderer.render({site.url("/loop.html"), "", "UA"});
        EXPECT_NE(gbkToUtf8(loop.page.error).find("网站太慢"), std::string::npos)
            << gbkToUtf8(loop.page.error);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
        // The browser still serves the next page.
        const RenderedPage next = renderer.render({site.url("/late.html"), "", "UA"});
        EXPECT_NE(next.page.body.find("第1篇"), std::string::npos) << gbkToUtf8(next.page.error);
        // A stop ends a page at once.
        std::atomic<bool> stop{false};
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            stop = true;
        });
        const RenderedPage stopped =
            renderer.render({hanging.url("/never2.html"), "", "UA"}, [&] { return stop.load(); });
        stopper.join();
        EXPECT_TRUE(stopped.page.cancelled);
        EXPECT_GT(browsers(), 0u);
    }
    EXPECT_EQ(browsers(), 0u);
}

TEST_F(Rendering, ABrowserKilledInTheMiddleIsStartedAgain) {
    Renderer renderer;
    ASSERT_NE(renderer.render({site.url("/late.html"), "", "UA"}).page.body.find("第1篇"), std::string::npos);
    // Every browser process ends, as if it crashed.
    for (int pid : browserProcesses(tmp.path().string() + "/tovidesk-browser-")) ::kill(pid, SIGKILL);
    std::this_thread::sleep_for(200ms);
    EXPECT_NE(renderer.render({site.url("/late.html"), "", "UA"}).page.body.find("第1篇"), std::string::npos);
}

}  // namespace
}  // namespace tovi
