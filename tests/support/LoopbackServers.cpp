#include "support/LoopbackServers.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace tovi::test {

HttpTestServer::HttpTestServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->set_logger([this](const httplib::Request& req, const httplib::Response&) {
        Seen s;
        s.path = req.path;
        for (const auto& [k, v] : req.headers) s.headers.emplace(k, v);
        record(std::move(s));
    });
}

HttpTestServer::~HttpTestServer() {
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

void HttpTestServer::start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::string HttpTestServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<HttpTestServer::Seen> HttpTestServer::requests() const {
    std::lock_guard g(m_mutex);
    return m_requests;
}

void HttpTestServer::record(Seen seen) {
    std::lock_guard g(m_mutex);
    m_requests.push_back(std::move(seen));
}

RawHttpServer::RawHttpServer(std::string response, bool hang)
    : m_response(std::move(response)), m_hang(hang) {
    m_listen = listenOnLoopback(m_port);
    m_thread = std::thread([this] { serve(); });
}

RawHttpServer::~RawHttpServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listen);
    for (int s : m_openSockets) ::close(s);
}

std::string RawHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> RawHttpServer::requests() const {
    std::lock_guard g(m_mutex);
    return m_requests;
}

bool RawHttpServer::waitForRequests(std::size_t n) const {
    std::unique_lock g(m_mutex);
    return m_cv.wait_for(g, std::chrono::seconds(5), [&] { return m_requests.size() >= n; });
}

void RawHttpServer::serve() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int s = ::accept(m_listen, nullptr, nullptr);
        if (s < 0) continue;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && !m_stop) {
            pollfd rp{s, POLLIN, 0};
            if (::poll(&rp, 1, 50) <= 0) continue;
            ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, n);
        }
        {
            std::lock_guard g(m_mutex);
            m_requests.push_back(request);
        }
        m_cv.notify_all();
        if (m_hang) {
            m_openSockets.push_back(s);  // keep it open and silent
            continue;
        }
        ::send(s, m_response.data(), m_response.size(), MSG_NOSIGNAL);
        ::close(s);
    }
}

int listenOnLoopback(int& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0) {
        ::close(s);
        throw std::runtime_error("cannot bind a loopback port");
    }
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return s;
}

int unusedLoopbackPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(s);
    return ntohs(addr.sin_port);
}

}  // namespace tovi::test
