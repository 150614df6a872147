// Sites that speak HTTP/2 get their pages as streams over one connection: a site's queue goes
// out at once without a connection per page (against Debian's nghttpd, TLS with a test certificate).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "core/net/HttpRequest.h"
#include "core/net/TransferPool.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"


namespace tovi {
namespace {

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

class Http2Site {
public:
    explicit Http2Site(const std::filesystem::path& dir) {
        const std::string key = (dir / "key.pem").string(), cert = (dir / "cert.pem").string();
        const std::string make =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " + key +
            " -out " + cert + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return;
        std::filesystem::create_directories(dir / "htdocs");
        for (int i = 0; i < 12; ++i)
            test::writeFile(dir / "htdocs" / ("page-" + std::to_string(i) + ".html"),
                            "<ul><li><a href=\"t-" + std::to_string(i) + ".html\">page " + std::to_string(i) +
                                "</a></li></ul>");
        port = test::unusedLoopbackPort();
        pid = test::spawnProgram({"nghttpd", "--address=127.0.0.1", "--htdocs=" + (dir / "htdocs").string(),
                                  std::to_string(port), key, cert});
        for (int i = 0; pid && i < 100 && !accepts(port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Http2Site() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    bool running() const { return pid > 0 && accepts(port); }
    std::string url(int page) const {
        return "https://127.0.0.1:" + std::to_string(port) + "/page-" + std::to_string(page) + ".html";
    }
    pid_t pid = 0;
    int port = 0;
};

TEST(Http2, ASitesQueueGoesAsStreamsOverOneConnection) {
    if (std::system("command -v nghttpd >/dev/null") != 0)
        GTEST_SKIP() << "nghttpd (nghttp2-server) is not installed";
    test::TempDir dir;
    Http2Site site(dir.path());
    ASSERT_TRUE(site.running());
    TransferPool pool;  // at most 2 transfers to a host, 6 streams once it speaks HTTP/2
    std::vector<TransferPool::Ticket> tickets;
    for (int i = 0; i < 12; ++i) {
        Result<CurlGet> get = monitorRequest(site.url(i), "", "", FetchLimits{});
        ASSERT_TRUE(get.ok());
        get->verifyTls = false;  // the test's own certificate
        tickets.push_back(pool.submit(std::move(*get), "127.0.0.1"));
    }
    int connections = 0;
    for (int i = 0; i < 12; ++i) {
        const CurlResponse r = pool.take(tickets[i], {});
        ASSERT_EQ(r.result.status, 200) << r.result.error;
        EXPECT_NE(r.result.body.find("page " + std::to_string(i) + "<"), std::string::npos);
        EXPECT_TRUE(r.multiplexed);
        if (!r.reusedConnection) ++connections;
        pool.release(tickets[i]);
    }
    EXPECT_EQ(connections, 1);  // one connection for the whole queue
}

}  // namespace
}  // namespace tovi
