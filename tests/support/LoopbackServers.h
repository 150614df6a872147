#pragma once
// Servers the tests start on 127.0.0.1 (port chosen by the system); nothing leaves the machine.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace tovi::test {

// A cpp-httplib server that records every request's headers and path.
class HttpTestServer {
public:
    struct Seen {
        std::string path;
        std::multimap<std::string, std::string> headers;  // names as sent
    };
    HttpTestServer();
    ~HttpTestServer();
    httplib::Server& server() { return *m_server; }
    // Starts listening; call after adding the handlers.
    void start();
    int port() const { return m_port; }
    std::string url(const std::string& path) const;
    std::vector<Seen> requests() const;
    void record(Seen seen);

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Seen> m_requests;
};

// A socket listening on 127.0.0.1 at a port the system chose (returned in port).
int listenOnLoopback(int& port);

// A loopback port nothing listens on (taken and let go at once).
int unusedLoopbackPort();

// A bare TCP server: stores each raw request (up to the blank line) and answers with a fixed
// response, or never answers (hang) until it is destroyed.
class RawHttpServer {
public:
    explicit RawHttpServer(std::string response, bool hang = false);
    ~RawHttpServer();
    int port() const { return m_port; }
    std::string url(const std::string& path) const;
    std::vector<std::string> requests() const;
    // Blocks until at least n requests arrived (or 5 s passed).
    bool waitForRequests(std::size_t n) const;

private:
    void serve();
    std::string m_response;
    bool m_hang;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::vector<std::string> m_requests;
    std::vector<int> m_openSockets;
};

}  // namespace tovi::test
