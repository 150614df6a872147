#include "core/net/Renderer.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/net/Browser.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kMaxPages = 2;
constexpr std::size_t kMaxKeptRequests = 24;
constexpr std::size_t kMaxKeptBody = 4u << 20;

// What one page's events tell its loader, shared with the browser's reading thread.
struct PageState {
    std::mutex mutex;
    std::set<std::string> inFlight;
    Clock::time_point lastActivity = Clock::now();
    bool loaded = false;
    long status = 0;
    std::string documentId;
    std::string refused;                          // a request the page was not allowed to make
    std::map<std::string, PageRequest> scripted;  // requestId -> the response, body still to come
};

void answerPausedRequest(Browser& browser, const std::string& session, const Json& params,
                         const std::string& planOrigin, const std::string& cookie, PageState& state) {
    const std::string id = params.value("requestId", "");
    const std::string type = params.value("resourceType", "");
    const Json request = params.value("request", Json::object());
    const std::string url = request.value("url", "");
    if (type == "Image" || type == "Font" || type == "Media" || type == "Stylesheet") {
        browser.send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "BlockedByClient"}}, session);
        return;
    }
    if (!isWebAddress(url) && !url.starts_with("data:") && !url.starts_with("blob:")) {
        {
            std::lock_guard lock(state.mutex);
            if (state.refused.empty()) state.refused = url.substr(0, 80);
        }
        browser.send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "AccessDenied"}}, session);
        return;
    }
    Json headers = Json::array();
    const Json sent = request.value("headers", Json::object());
    for (const auto& [name, value] : sent.items())
        if (asciiLower(name) != "cookie") headers.push_back({{"name", name}, {"value", value}});
    // The plan's login goes to its own site only: never along a redirect or to another host.
    if (!cookie.empty() && isWebAddress(url) && urlOrigin(url) == planOrigin)
        headers.push_back({{"name", "Cookie"}, {"value", cookie}});
    browser.send("Fetch.continueRequest", {{"requestId", id}, {"headers", headers}}, session);
}

void noteEvent(const std::string& method, const Json& params, PageState& state, bool keepRequests) {
    std::lock_guard lock(state.mutex);
    const std::string id = params.value("requestId", "");
    if (method == "Network.requestWillBeSent") {
        state.inFlight.insert(id);
        if (params.value("type", "") == "Document" && state.documentId.empty()) state.documentId = id;
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
        state.inFlight.erase(id);
    } else if (method == "Network.responseReceived") {
        const Json response = params.value("response", Json::object());
        if (id == state.documentId) state.status = response.value("status", 0L);
        const std::string type = params.value("type", "");
        const std::string mime = response.value("mimeType", "");
        if (keepRequests && (type == "XHR" || type == "Fetch") && state.scripted.size() < kMaxKeptRequests &&
            (mime.find("json") != std::string::npos || mime.find("html") != std::string::npos ||
             mime.find("javascript") != std::string::npos || mime.starts_with("text/")))
            state.scripted[id] = PageRequest{response.value("url", ""), mime, {}};
    } else if (method == "Page.loadEventFired") {
        state.loaded = true;
    } else {
        return;
    }
    state.lastActivity = Clock::now();
}

}  // namespace

std::string browserMissing() {
    if (findChromium()) return {};
    return gbk(
        "这个方案要用浏览器渲染页面，但没有找到 chromium；请安装它（Debian：apt-get install chromium）");
}

Renderer::Renderer(RenderLimits limits)
    : m_limits(limits), m_idle([this](std::stop_token stop) { idleWatch(stop); }) {}

Renderer::~Renderer() {
    m_idle.request_stop();
    m_changed.notify_all();
    if (m_idle.joinable()) m_idle.join();
    shutDown();
}

void Renderer::shutDown() {
    std::shared_ptr<Browser> ending;
    {
        std::lock_guard lock(m_mutex);
        ending = std::move(m_browser);
    }
    // Whoever still holds it ends it when done; the process goes now.
    if (ending) ending.reset();
}

void Renderer::idleWatch(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        m_changed.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; });
        if (m_browser && m_active == 0 && Clock::now() - m_lastUse > m_limits.idle) m_browser.reset();
    }
}

std::shared_ptr<Browser> Renderer::browserForPage(std::string& error) {
    // A fresh browser when there is none, when it died, or when it has grown too large and no
    // other page is using it.
    if (m_browser &&
        (!m_browser->alive() || (m_active == 1 && m_browser->memoryInUse() > m_limits.memoryBound)))
        m_browser.reset();
    if (m_browser) return m_browser;
    const auto program = findChromium();
    if (!program) {
        error = browserMissing();
        return nullptr;
    }
    auto started = Browser::start(*program);
    if (!started) {
        error = started.error();
        return nullptr;
    }
    m_browser = std::shared_ptr<Browser>(std::move(*started));
    return m_browser;
}

RenderedPage Renderer::render(const RenderRequest& request, const CancelCheck& cancel) {
    RenderedPage out;
    FetchResult& page = out.page;
    if (Result<> allowed = checkWebUrl(request.url); !allowed) {
        page.error = allowed.error();
        return out;
    }
    Clock::time_point deadline = Clock::now() + m_limits.total;
    // A page slot, then the browser (started, or started again, under the same lock).
    std::shared_ptr<Browser> browser;
    {
        std::unique_lock lock(m_mutex);
        while (m_active >= kMaxPages) {
            if ((cancel && cancel()) || Clock::now() > deadline) {
                page.cancelled = cancel && cancel();
                page.error = gbk("网站太慢，已放弃（等不到浏览器空闲）");
                return out;
            }
            m_changed.wait_for(lock, std::chrono::milliseconds(50));
        }
        ++m_active;
        browser = browserForPage(page.error);
        if (!browser) {
            --m_active;
            m_changed.notify_all();
            return out;
        }
    }
    struct Release {
        Renderer& r;
        ~Release() {
            std::lock_guard lock(r.m_mutex);
            --r.m_active;
            r.m_lastUse = Clock::now();
            r.m_changed.notify_all();
        }
    } release{*this};
    // The page's time starts once the browser is up (starting one takes a second or two).
    deadline = Clock::now() + m_limits.total;

    const std::string wireUrl = urlForWire(request.url);
    const std::string planOrigin = urlOrigin(wireUrl);
    const std::string cookie = gbkToUtf8(request.cookie);
    auto state = std::make_shared<PageState>();
    auto call = [&](const std::string& method, const Json& params, const std::string& session,
                    std::string* error = nullptr) {
        return browser->call(method, params, session, deadline, cancel, error);
    };
    const auto context = call("Target.createBrowserContext", {{"disposeOnDetach", true}}, "");
    const std::string contextId = context ? context->value("browserContextId", "") : "";
    const auto target =
        contextId.empty()
            ? std::nullopt
            : call("Target.createTarget", {{"url", "about:blank"}, {"browserContextId", contextId}}, "");
    const std::string targetId = target ? target->value("targetId", "") : "";
    const auto attached =
        targetId.empty() ? std::nullopt
                         : call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, "");
    const std::string session = attached ? attached->value("sessionId", "") : "";
    // However the page ends, its target and context go, and a browser that no longer answers
    // is ended so that the next page gets a fresh one.
    struct Close {
        Renderer& r;
        std::shared_ptr<Browser> browser;
        std::string session, targetId, contextId;
        ~Close() {
            if (!session.empty()) browser->forget(session);
            const auto soon = Clock::now() + std::chrono::seconds(3);
            bool answered = true;
            if (!targetId.empty())
                answered =
                    browser->call("Target.closeTarget", {{"targetId", targetId}}, "", soon, {}).has_value();
            if (!contextId.empty() && answered)
                answered = browser
                               ->call("Target.disposeBrowserContext", {{"browserContextId", contextId}}, "",
                                      soon, {})
                               .has_value();
            if (!answered) {
                std::lock_guard lock(r.m_mutex);
                if (r.m_browser == browser) r.m_browser.reset();
            }
        }
    } close{*this, browser, session, targetId, contextId};
    if (session.empty()) {
        page.cancelled = cancel && cancel();
        page.error = gbk("浏览器没有打开页面");
        return out;
    }
    const bool keep = m_limits.keepRequests;
    Browser* raw = browser.get();
    browser->onEvents(session, [raw, session, planOrigin, cookie, state, keep](const std::string& method,
                                                                               const Json& params) {
        if (method == "Fetch.requestPaused")
            answerPausedRequest(*raw, session, params, planOrigin, cookie, *state);
        else
            noteEvent(method, params, *state, keep);
    });
    const bool ready =
        call("Network.enable", Json::object(), session) && call("Page.enable", Json::object(), session) &&
        call("Fetch.enable", {{"patterns", Json::array({{{"urlPattern", "*"}}})}}, session) &&
        call("Network.setUserAgentOverride", {{"userAgent", gbkToUtf8(request.userAgent)}}, session);
    std::string navError;
    const auto navigated =
        ready ? call("Page.navigate", {{"url", wireUrl}}, session, &navError) : std::nullopt;
    if (!navigated || navigated->contains("errorText")) {
        page.cancelled = cancel && cancel();
        const std::string why = navigated ? navigated->value("errorText", "") : navError;
        if (!browser->alive())
            page.error = gbk("浏览器意外退出了，下次再试");
        else if (why.empty() && !page.cancelled)
            page.error = gbk("网站太慢，已放弃（") + std::to_string(m_limits.total.count() / 1000) +
                         gbk(" 秒内没有应答）");
        else
            page.error = gbk("浏览器打不开页面") + (why.empty() ? "" : gbk("：") + why);
        return out;
    }
    // Loaded, then quiet: no request under way for a while.
    for (;;) {
        if (cancel && cancel()) {
            page.cancelled = true;
            return out;
        }
        if (Clock::now() > deadline) break;
        {
            std::lock_guard lock(state->mutex);
            // Quiet: nothing under way for a while; a request that has said nothing for four
            // times that long (a connection left open) holds the page no longer.
            const auto still = Clock::now() - state->lastActivity;
            if (state->loaded && still >= m_limits.quiet &&
                (state->inFlight.empty() || still >= 4 * m_limits.quiet))
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    {
        std::lock_guard lock(state->mutex);
        if (!state->loaded) {
            page.error = gbk("网站太慢，已放弃（") + std::to_string(m_limits.total.count() / 1000) +
                         gbk(" 秒内没有载入完）");
            return out;
        }
        page.status = state->status;
        if (!state->refused.empty()) page.error = gbk("页面要访问的地址已拒绝：") + state->refused;
    }
    // A script that never yields holds the page: the markup never comes and the page is given up.
    const auto markup = browser->call(
        "Runtime.evaluate", {{"expression", "document.documentElement.outerHTML"}, {"returnByValue", true}},
        session, Clock::now() + std::chrono::seconds(5), cancel);
    if (!markup) {
        page.cancelled = cancel && cancel();
        page.error = gbk("网站太慢，已放弃（页面的脚本一直在运行）");
        return out;
    }
    page.body = markup->value("result", Json::object()).value("value", "");
    page.contentType = "text/html; charset=utf-8";
    if (page.status == 0) page.status = 200;
    if (keep) {
        std::map<std::string, PageRequest> scripted;
        {
            std::lock_guard lock(state->mutex);
            scripted = state->scripted;
        }
        for (auto& [id, r] : scripted) {
            const auto body = call("Network.getResponseBody", {{"requestId", id}}, session);
            if (!body || body->value("base64Encoded", false)) continue;
            r.body = body->value("body", "");
            if (r.body.size() <= kMaxKeptBody) out.requests.push_back(std::move(r));
        }
    }
    return out;
}

}  // namespace tovi
