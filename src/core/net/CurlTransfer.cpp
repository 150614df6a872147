#include "core/net/CurlTransfer.h"

#include <curl/curl.h>

#include <mutex>

#include "core/net/HttpHeaders.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Collector {
    CurlResponse* response;
    std::size_t maxBody;
    bool overflow = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* c = static_cast<Collector*>(user);
    std::size_t n = size * count;
    std::string& body = c->response->result.body;
    if (body.size() + n > c->maxBody) {
        c->overflow = true;
        return 0;  // makes curl stop with a write error
    }
    body.append(data, n);
    return n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* c = static_cast<Collector*>(user);
    std::size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // A new status line starts the headers of the next response in a redirect chain; only
    // the final response's headers count.
    if (line.rfind("HTTP/", 0) == 0) c->response->headerText.clear();
    if (!line.empty()) {
        if (!c->response->headerText.empty()) c->response->headerText += "\r\n";
        c->response->headerText += line;
    }
    return n;
}

}  // namespace

std::string curlHeaderLine(const std::string& name, const std::string& value) {
    return value.empty() ? name + ";" : name + ": " + value;
}

void appendHeaderText(std::vector<std::string>& curlLines, const std::string& headerText) {
    for (const std::string& line : gbkSplit(headerText, "\r\n")) {
        std::string name = HttpHeaderName(line);
        if (!name.empty())
            curlLines.push_back(curlHeaderLine(gbkToUtf8(name), gbkToUtf8(HttpHeaderValue(line))));
    }
}

CurlResponse performGet(const CurlGet& request) {
    initCurlOnce();
    CurlResponse response;
    // A value with a line break would put header lines of its own on the wire.
    for (const std::string& h : request.headers)
        if (hasLineBreak(h)) {
            response.result.error = "a header line holds a line break; request refused";
            return response;
        }
    if (hasLineBreak(request.userAgent) || hasLineBreak(request.url)) {
        response.result.error = "the URL or the user agent holds a line break; request refused";
        return response;
    }
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!easy || !multi) {
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        response.result.error = "cannot start an HTTP transfer";
        return response;
    }
    Collector collector{&response, request.limits.maxBodyBytes};
    curl_slist* headers = nullptr;
    for (const std::string& h : request.headers) headers = curl_slist_append(headers, h.c_str());
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    // Only web pages, also after a redirect: never file://, gopher://, dict:// or the like.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    if (!request.userAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, request.verifyTls ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, request.verifyTls ? 2L : 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.limits.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.overallTimeout.count()));
    if (request.limits.stallTimeout.count() > 0) {
        // Less than one byte a second for the stall time counts as a stalled receive.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        long seconds = static_cast<long>((request.limits.stallTimeout.count() + 999) / 1000);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &collector);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &collector);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);

    curl_multi_add_handle(multi, easy);
    // Driven through the multi interface so a stop request is seen within 100 ms, even
    // while the server sends nothing.
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (!running) break;
        if (request.cancel && request.cancel()) {
            response.result.cancelled = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    CURLcode code = CURLE_OK;
    int pending = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &pending))
        if (msg->msg == CURLMSG_DONE) code = msg->data.result;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.result.status);

    if (response.result.cancelled) {
        response.result.body.clear();
        response.result.error = "cancelled";
    } else if (collector.overflow) {
        response.result.error = "page larger than " + std::to_string(request.limits.maxBodyBytes) + " bytes";
    } else if (code != CURLE_OK) {
        response.result.body.clear();
        response.result.error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    }
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    return response;
}

}  // namespace tovi
