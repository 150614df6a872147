#include "core/net/Browser.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "core/text/Gbk.h"

namespace tovi {
namespace {

// A message larger than this is no answer of ours (a page's markup is bounded well below).
constexpr std::size_t kMaxMessage = 256u << 20;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::filesystem::path> findChromium() {
    if (const char* given = std::getenv("TOVI_CHROMIUM"); given && *given) {
        if (::access(given, X_OK) == 0) return std::filesystem::path(given);
        return std::nullopt;
    }
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/lib/chromium/chromium"})
        if (::access(p, X_OK) == 0) return std::filesystem::path(p);
    return std::nullopt;
}

Result<std::unique_ptr<Browser>> Browser::start(const std::filesystem::path& program) {
    std::unique_ptr<Browser> b(new Browser());
    std::string profile = (std::filesystem::temp_directory_path() / "tovidesk-browser-XXXXXX").string();
    if (!::mkdtemp(profile.data())) return Error{gbk("浏览器的临时目录建不起来")};
    b->m_profile = profile;
    int toBrowser[2], fromBrowser[2];
    if (::pipe2(toBrowser, O_CLOEXEC) != 0) return Error{gbk("浏览器的管道建不起来")};
    if (::pipe2(fromBrowser, O_CLOEXEC) != 0) {
        ::close(toBrowser[0]), ::close(toBrowser[1]);
        return Error{gbk("浏览器的管道建不起来")};
    }
    // Everything the child needs is made before the fork: after it, only calls that are safe
    // in a copy of a threaded program.
    const std::vector<std::string> args = {
        program.string(),
        "--headless",
        "--remote-debugging-pipe",
        "--no-sandbox",  // as root, or in a container, the sandbox refuses to start
        "--no-zygote",   // renderers stay children of the browser, in its process group
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--disable-extensions",
        "--disable-default-apps",
        "--disable-file-system",
        "--disable-quic",
        "--no-first-run",
        "--no-default-browser-check",
        "--mute-audio",
        "--blink-settings=imagesEnabled=false",
        "--user-data-dir=" + profile,
        "about:blank",
    };
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return Error{gbk("浏览器启动不了（fork 失败）")};
    if (pid == 0) {
        // The browser dies with the program, whatever ends it, and takes its group along.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        // Out of the way first: a pipe end may itself be descriptor 3 or 4.
        const int in = ::fcntl(toBrowser[0], F_DUPFD, 10), out = ::fcntl(fromBrowser[1], F_DUPFD, 10);
        ::dup2(in, 3);
        ::dup2(out, 4);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    ::close(toBrowser[0]);
    ::close(fromBrowser[1]);
    b->m_pid = pid;
    b->m_toBrowser = toBrowser[1];
    b->m_fromBrowser = fromBrowser[0];
    b->m_reader = std::thread([raw = b.get()] { raw->readLoop(); });
    // It answers once it is up.
    std::string error;
    if (!b->call("Browser.getVersion", Json::object(), "",
                 std::chrono::steady_clock::now() + std::chrono::seconds(20), {}, &error))
        return Error{gbk("浏览器启动后没有应答") + (error.empty() ? "" : gbk("：") + error)};
    return b;
}

Browser::~Browser() {
    kill();
    if (m_reader.joinable()) m_reader.join();
    if (m_fromBrowser >= 0) ::close(m_fromBrowser);
    std::error_code ec;
    if (!m_profile.empty()) std::filesystem::remove_all(m_profile, ec);
}

void Browser::kill() {
    {
        std::lock_guard lock(m_mutex);
        m_dead = true;
    }
    m_answered.notify_all();
    if (m_toBrowser >= 0) {
        ::close(m_toBrowser);
        m_toBrowser = -1;
    }
    if (m_pid > 0) {
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool Browser::alive() const {
    std::lock_guard lock(m_mutex);
    return !m_dead;
}

void Browser::readLoop() {
    std::string buffer;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(m_fromBrowser, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t end; (end = buffer.find('\0')) != std::string::npos;) {
            Json message =
                Json::parse(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(end), nullptr,
                            /*allow_exceptions=*/false);
            buffer.erase(0, end + 1);
            if (message.is_discarded() || !message.is_object()) continue;
            if (message.contains("id")) {
                if (!message["id"].is_number_integer()) continue;
                const long id = message["id"].get<long>();
                std::lock_guard lock(m_mutex);
                // Only answers somebody waits for are kept: those to commands merely sent
                // (a paused request let go) would pile up for the browser's whole life.
                if (m_awaited.count(id)) m_answers[id] = std::move(message);
                m_answered.notify_all();
                continue;
            }
            const std::string session =
                message["sessionId"].is_string() ? message["sessionId"].get<std::string>() : "";
            EventHandler handler;
            {
                std::lock_guard lock(m_mutex);
                if (auto it = m_handlers.find(session); it != m_handlers.end()) handler = it->second;
            }
            // An event of a shape we did not expect is left alone; it never ends the reading.
            if (handler && message["method"].is_string() && message["params"].is_object()) try {
                    handler(message["method"].get<std::string>(), message["params"]);
                } catch (const Json::exception&) {
                }
        }
        if (buffer.size() > kMaxMessage) break;
    }
    std::lock_guard lock(m_mutex);
    m_dead = true;
    m_answered.notify_all();
}

std::optional<long> Browser::post(const std::string& method, const Json& params, const std::string& session,
                                  bool awaited) {
    long id;
    {
        std::lock_guard lock(m_mutex);
        if (m_dead) return std::nullopt;
        id = m_nextId++;
        if (awaited) m_awaited.insert(id);
    }
    Json message = {{"id", id}, {"method", method}, {"params", params}};
    if (!session.empty()) message["sessionId"] = session;
    const std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace) + '\0';
    std::lock_guard lock(m_writing);
    if (m_toBrowser < 0 || !writeAll(m_toBrowser, text.data(), text.size())) {
        // A pipe that takes nothing more is a browser that is gone.
        std::lock_guard state(m_mutex);
        m_dead = true;
        m_awaited.erase(id);
        return std::nullopt;
    }
    return id;
}

void Browser::send(const std::string& method, const Json& params, const std::string& session) {
    post(method, params, session, /*awaited=*/false);
}

std::optional<Browser::Json> Browser::call(const std::string& method, const Json& params,
                                           const std::string& session,
                                           std::chrono::steady_clock::time_point deadline,
                                           const std::function<bool()>& cancel, std::string* error) {
    const std::optional<long> id = post(method, params, session, /*awaited=*/true);
    if (!id) return std::nullopt;
    std::unique_lock lock(m_mutex);
    // However the wait ends, an answer that comes later is not kept for nobody.
    struct NoLongerAwaited {
        Browser& b;
        long id;
        ~NoLongerAwaited() {
            b.m_awaited.erase(id);
            b.m_answers.erase(id);
        }
    } forget{*this, *id};
    while (!m_answers.count(*id)) {
        if (m_dead || std::chrono::steady_clock::now() > deadline || (cancel && cancel()))
            return std::nullopt;
        m_answered.wait_for(lock, std::chrono::milliseconds(50));
    }
    Json answer = std::move(m_answers[*id]);
    if (answer.contains("error")) {
        if (error) *error = answer["error"].value("message", "");
        return std::nullopt;
    }
    return answer.value("result", Json::object());
}

void Browser::onEvents(const std::string& session, EventHandler handler) {
    std::lock_guard lock(m_mutex);
    m_handlers[session] = std::move(handler);
}

void Browser::forget(const std::string& session) {
    std::lock_guard lock(m_mutex);
    m_handlers.erase(session);
}

std::size_t Browser::memoryInUse() const {
    if (m_pid <= 0) return 0;
    // Every process of the browser's group: resident pages from /proc/<pid>/statm.
    std::size_t total = 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    while (dirent* d = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(d->d_name));
        if (pid <= 0 || ::getpgid(pid) != m_pid) continue;
        std::ifstream statm("/proc/" + std::string(d->d_name) + "/statm");
        std::size_t size = 0, resident = 0;
        if (statm >> size >> resident) total += resident * static_cast<std::size_t>(page);
    }
    ::closedir(proc);
    return total;
}

}  // namespace tovi
