// A plan that logs in (it carries a cookie) checks the site's certificate in a run, so its
// login never reaches a man in the middle; plans without a cookie keep running as before, and a
// user may knowingly accept a site's own certificate.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/CliRunner.h"
#include "core/text/Gbk.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::runCli;

bool listening(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

// openssl's own test server with a self-signed certificate for another name, serving the
// files of a directory.
class SelfSignedSite {
public:
    explicit SelfSignedSite(const std::filesystem::path& dir) : m_port(test::unusedLoopbackPort()) {
        const std::string keys =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=other.example -keyout '" +
            (dir / "key.pem").string() + "' -out '" + (dir / "cert.pem").string() + "' >/dev/null 2>&1";
        m_ok = std::system(keys.c_str()) == 0;
        if (!m_ok) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::chdir(dir.c_str()) != 0) _exit(127);
            const std::string accept = "127.0.0.1:" + std::to_string(m_port);
            ::execlp("openssl", "openssl", "s_server", "-quiet", "-WWW", "-accept", accept.c_str(), "-cert",
                     "cert.pem", "-key", "key.pem", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && !listening(m_port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_ok = listening(m_port);
    }
    ~SelfSignedSite() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool ok() const { return m_ok; }
    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    int m_port;
    pid_t m_pid = -1;
    bool m_ok = false;
};

TEST(CliTls, ALoginIsSentOnlyWhereTheCertificateHolds) {
    test::TempDir dir, site;
    test::writeFile(
        site / "list.html",
        gbk("<ul><li><a href=\"t-2.html\">第二篇</a></li><li><a href=\"t-1.html\">第一篇</a></li></ul>"));
    SelfSignedSite server(site.path());
    if (!server.ok()) GTEST_SKIP() << "openssl s_server is not available";
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    auto plan = [&](const std::string& name, const std::string& cookie) {
        return "insert into "
               "rule(class,code,name,url,cookie,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
               "lastid,type) values(1,'1','" +
               name + "','" + server.url("/list.html") + "','" + cookie +
               "','UA','x/[1]','<a href=\"t-(\\d+)\\.html\">(.*?)</a>','<ul>','</ul>','2','1','0',1,'','0')";
    };
    ASSERT_EQ(runCli(dir.path(), {"sql", plan("login", "auth=secret")}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", plan("open", "")}).code, 0);

    auto first = runCli(dir.path(), {"run", "--pause-ms", "0"});
    EXPECT_NE(first.out.find("方案 1 login：无法获取页面：TLS/证书错误"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("方案 2 open：取到 2 篇新文章"), std::string::npos) << first.out;
    EXPECT_NE(runCli(dir.path(), {"plans"}).out.find("TLS/证书错误"), std::string::npos);

    // Knowingly accepted: the site's own certificate will do.
    ASSERT_EQ(runCli(dir.path(), {"plan", "set", "1", "own-certificate", "yes"}).code, 0);
    EXPECT_NE(runCli(dir.path(), {"plan", "show", "1"}).out.find("own-certificate | yes"), std::string::npos);
    auto second = runCli(dir.path(), {"run", "--plan", "1", "--pause-ms", "0"});
    EXPECT_NE(second.out.find("方案 1 login：取到 2 篇新文章"), std::string::npos) << second.out;
    EXPECT_EQ(runCli(dir.path(), {"plan", "set", "1", "own-certificate", "maybe"}).code, 2);
}

}  // namespace
}  // namespace tovi
