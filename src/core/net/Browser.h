#pragma once
// The system's Chromium, headless, driven over the DevTools protocol on a pipe: JSON messages
// ending in a NUL byte, written to the browser's descriptor 3 and read from its descriptor 4.
// No network port is opened. The browser runs in a process group of its own, with a throw-away
// profile directory, and dies with this object (or with the program, whatever ends it).
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "core/Result.h"

namespace tovi {

// The browser program: $TOVI_CHROMIUM when set, else chromium on the usual paths. nullopt when
// none is installed.
std::optional<std::filesystem::path> findChromium();

class Browser {
public:
    using Json = nlohmann::json;
    using EventHandler = std::function<void(const std::string& method, const Json& params)>;

    // Starts the browser; the reason (GBK) when it cannot.
    static Result<std::unique_ptr<Browser>> start(const std::filesystem::path& program);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // A command and its result. nullopt when the browser answered with an error (in error),
    // died, the deadline passed or cancel said so.
    std::optional<Json> call(const std::string& method, const Json& params, const std::string& session,
                             std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancel, std::string* error = nullptr);
    // A command whose answer nobody waits for (answering a paused request from an event).
    void send(const std::string& method, const Json& params, const std::string& session);

    // Events of one session go to its handler, on the reading thread: a handler must not wait.
    void onEvents(const std::string& session, EventHandler handler);
    void forget(const std::string& session);

    bool alive() const;
    // What the browser's processes hold in memory, all of them together (bytes).
    std::size_t memoryInUse() const;

private:
    Browser() = default;
    // Writes a command; its id, or nothing when the browser is gone. An awaited command's answer
    // is kept for call to take.
    std::optional<long> post(const std::string& method, const Json& params, const std::string& session,
                             bool awaited);
    void readLoop();
    void kill();

    pid_t m_pid = -1;
    int m_toBrowser = -1, m_fromBrowser = -1;
    std::filesystem::path m_profile;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::map<long, Json> m_answers;
    std::set<long> m_awaited;  // the commands whose answers call waits for
    std::map<std::string, EventHandler> m_handlers;
    long m_nextId = 1;
    bool m_dead = false;
    std::mutex m_writing;
};

}  // namespace tovi
