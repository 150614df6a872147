#pragma once
// Stand-ins for the push services on 127.0.0.1: they keep every request as the service would
// see it and answer as told (taken, a service's own error code, 429, 500, or not at all).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace tovi::test {

class FakePushService {
public:
    enum class Mode { Accept, ServiceError, TooMany, ServerError, Hang };
    struct Request {
        std::string method, target;  // target: path and query as sent
        std::string path;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        bool accepted = false;  // answered as taken
        std::string header(const std::string& name) const;
    };

    // acceptBody: what the service answers when it takes a message (its own success JSON).
    explicit FakePushService(std::string acceptBody = "{}", std::string errorBody = "{}");
    ~FakePushService();

    std::string base() const;  // http://127.0.0.1:PORT
    void setMode(Mode mode);
    // Each answer comes this much later (a slow service).
    void setDelay(std::chrono::milliseconds delay) { m_delayMs = static_cast<int>(delay.count()); }
    std::vector<Request> requests() const;
    std::vector<Request> accepted() const;
    // Blocks until at least n requests arrived (or 10 s passed).
    bool waitForRequests(std::size_t n) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::string m_acceptBody, m_errorBody;
    std::atomic<Mode> m_mode{Mode::Accept};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_delayMs{0};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::vector<Request> m_requests;
};

// A minimal SMTP server: takes any login and any mail, and keeps what it was given.
class FakeSmtpServer {
public:
    struct Mail {
        std::string from;
        std::vector<std::string> to;
        std::string data;
        std::string login;  // the AUTH PLAIN line, if any
    };
    FakeSmtpServer();
    ~FakeSmtpServer();
    int port() const { return m_port; }
    std::vector<Mail> mails() const;

private:
    void serve();
    void session(int fd);
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Mail> m_mails;
};

}  // namespace tovi::test
