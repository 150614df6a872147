#include "support/FakePushService.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/LoopbackServers.h"

namespace tovi::test {

std::string FakePushService::Request::header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (strcasecmp(k.c_str(), name.c_str()) == 0) return v;
    return {};
}

FakePushService::FakePushService(std::string acceptBody, std::string errorBody)
    : m_server(std::make_unique<httplib::Server>()),
      m_acceptBody(std::move(acceptBody)),
      m_errorBody(std::move(errorBody)) {
    m_server->Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Request r;
        r.method = req.method;
        r.path = req.path;
        r.target = req.target;
        for (const auto& [k, v] : req.headers) r.headers.emplace_back(k, v);
        r.body = req.body;
        const Mode mode = m_mode.load();
        r.accepted = mode == Mode::Accept;
        {
            std::lock_guard g(m_mutex);
            m_requests.push_back(r);
        }
        m_cv.notify_all();
        if (m_delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
        switch (mode) {
            case Mode::Accept:
                res.set_content(m_acceptBody, "application/json");
                break;
            case Mode::ServiceError:
                res.set_content(m_errorBody, "application/json");
                break;
            case Mode::TooMany:
                res.status = 429;
                res.set_header("Retry-After", "120");
                res.set_content("{}", "application/json");
                break;
            case Mode::ServerError:
                res.status = 500;
                res.set_content("down", "text/plain");
                break;
            case Mode::Hang:
                for (int i = 0; i < 3000 && !m_stopping && m_mode.load() == Mode::Hang; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                res.status = 500;
                break;
        }
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

FakePushService::~FakePushService() {
    m_stopping = true;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string FakePushService::base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void FakePushService::setMode(Mode mode) { m_mode = mode; }

std::vector<FakePushService::Request> FakePushService::requests() const {
    std::lock_guard g(m_mutex);
    return m_requests;
}

std::vector<FakePushService::Request> FakePushService::accepted() const {
    std::vector<Request> out;
    for (const Request& r : requests())
        if (r.accepted) out.push_back(r);
    return out;
}

bool FakePushService::waitForRequests(std::size_t n) const {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_requests.size() >= n; });
}

FakeSmtpServer::FakeSmtpServer() {
    m_listen = listenOnLoopback(m_port);
    m_thread = std::thread([this] { serve(); });
}

FakeSmtpServer::~FakeSmtpServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listen);
}

std::vector<FakeSmtpServer::Mail> FakeSmtpServer::mails() const {
    std::lock_guard g(m_mutex);
    return m_mails;
}

void FakeSmtpServer::serve() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        session(fd);
        ::close(fd);
    }
}

void FakeSmtpServer::session(int fd) {
    auto say = [fd](const std::string& line) { (void)!::write(fd, line.data(), line.size()); };
    std::string buffer;
    auto readLine = [&](std::string& line) {
        for (;;) {
            if (const auto end = buffer.find("\r\n"); end != std::string::npos) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) return false;
            char chunk[4096];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    };
    say("220 fake ESMTP\r\n");
    Mail mail;
    std::string line;
    while (readLine(line)) {
        const std::string verb = line.substr(0, 4);
        if (verb == "EHLO" || verb == "HELO") {
            say("250-fake\r\n250 AUTH PLAIN LOGIN\r\n");
        } else if (verb == "AUTH") {
            mail.login = line;
            // "AUTH PLAIN" alone waits for the credentials on the next line.
            if (line.find(' ', 5) == std::string::npos) {
                say("334 \r\n");
                if (!readLine(line)) return;
                mail.login += " " + line;
            }
            say("235 ok\r\n");
        } else if (verb == "MAIL") {
            mail.from = line;
            say("250 ok\r\n");
        } else if (verb == "RCPT") {
            mail.to.push_back(line);
            say("250 ok\r\n");
        } else if (verb == "DATA") {
            say("354 go on\r\n");
            while (readLine(line) && line != ".") mail.data += line + "\r\n";
            {
                std::lock_guard g(m_mutex);
                m_mails.push_back(mail);
            }
            say("250 queued\r\n");
        } else if (verb == "QUIT") {
            say("221 bye\r\n");
            return;
        } else {
            say("250 ok\r\n");
        }
    }
}

}  // namespace tovi::test
