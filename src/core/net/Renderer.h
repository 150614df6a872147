#pragma once
// Pages built by their scripts, loaded in the system's Chromium: one browser process for a
// monitoring run (started when first needed, ended when idle, restarted when it dies or grows
// past its memory bound), at most two pages at once, a fresh browser context for each page (no
// cookies shared between plans). Images, fonts, media and style sheets are never loaded; only
// http and https leave the browser; the plan's cookie goes only to the plan's own scheme, host
// and port. The document's markup, once the page is quiet, comes back as UTF-8.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/net/Fetch.h"

namespace tovi {

class Browser;

struct RenderRequest {
    std::string url;  // GBK, as the plan writes it
    std::string cookie;
    std::string userAgent;
};

// A response the page's own scripts asked for (JSON, or an HTML fragment), as it came.
struct PageRequest {
    std::string url;  // UTF-8
    std::string mimeType;
    std::string body;  // UTF-8
};

struct RenderedPage {
    FetchResult page;  // body: the rendered markup (UTF-8); contentType says so
    std::vector<PageRequest> requests;
};

struct RenderLimits {
    std::chrono::milliseconds total{20000};  // loading and settling together
    std::chrono::milliseconds quiet{500};    // no request for this long: the page is done
    std::size_t memoryBound = std::size_t{1} << 30;
    std::chrono::seconds idle{30};  // an unused browser is ended after this long
    bool keepRequests = false;      // the scripts' JSON and HTML responses are kept (suggestions)
};

// Why a plan that needs a browser cannot run here (GBK), or empty when one is installed.
std::string browserMissing();

class Renderer {
public:
    explicit Renderer(RenderLimits limits = {});
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Loads the page and returns its markup; the reason (GBK) in page.error when it could not.
    RenderedPage render(const RenderRequest& request, const CancelCheck& cancel = {});

    // Ends the browser now (a stop): pages being loaded end with no markup.
    void shutDown();

private:
    std::shared_ptr<Browser> browserForPage(std::string& error);
    void idleWatch(std::stop_token stop);

    RenderLimits m_limits;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::shared_ptr<Browser> m_browser;
    int m_active = 0;
    std::chrono::steady_clock::time_point m_lastUse;
    std::jthread m_idle;
};

}  // namespace tovi
