#include "core/net/CurlTransfer.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

#include "core/net/HttpHeaders.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlTransfer::State {
    CurlResponse response;
    std::size_t maxBody = 0;
    bool overflow = false;
    bool refused = false;  // the request was never started (reason in response.result.error)
    bool keepCompressed = false;
    curl_slist* headers = nullptr;
    std::string url, userAgent;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
};

namespace {

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* s = static_cast<CurlTransfer::State*>(user);
    const std::size_t n = size * count;
    std::string& body = s->response.result.body;
    // The cap holds while receiving, counted on the page as it is after inflating.
    if (body.size() + n > s->maxBody) {
        s->overflow = true;
        return 0;  // makes curl stop with a write error
    }
    if (body.capacity() < body.size() + n) {
        // Growing by half keeps a large page's spare room (and the copy on growth) small.
        std::size_t want = std::max(body.size() + n, body.size() + body.size() / 2);
        body.reserve(std::min(want, s->maxBody));
    }
    body.append(data, n);
    return n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* s = static_cast<CurlTransfer::State*>(user);
    const std::size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // A new status line starts the headers of the next response in a redirect chain; only
    // the final response's headers count.
    if (line.rfind("HTTP/", 0) == 0) {
        s->response.headerText.clear();
        s->response.result.body.clear();
    }
    if (!line.empty()) {
        std::string& text = s->response.headerText;
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return n;
}

// Why nothing (or not all) came, as the status lines say it.
std::string failureReason(CURLcode code, const char* detail) {
    std::string reason;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            // curl says which limit ended it: too little progress, or the whole time.
            reason = detail && std::strstr(detail, "too slow") ? gbk("网站太慢，已放弃") : gbk("超时");
            break;
        case CURLE_COULDNT_CONNECT:
            reason = gbk("无法连接（连接被拒绝）");
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            reason = gbk("域名无法解析");
            break;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            reason = gbk("TLS/证书错误");
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
            reason = gbk("只能访问 http 和 https");
            break;
        default:
            break;
    }
    std::string text = detail && *detail ? detail : curl_easy_strerror(code);
    // Chinese words first, curl's own text after them as the technical detail.
    return (reason.empty() ? gbk("网络错误") : reason) + ": " + text;
}

// Validators and the wait a site asks for, from the final response's headers.
void readResponseHeaders(CURL* easy, CurlResponse& r) {
    for (const std::string& line : gbkSplit(r.headerText, "\r\n")) {
        const std::string name = asciiLower(httpHeaderName(line));
        if (name == "etag")
            r.result.etag = httpHeaderValue(line);
        else if (name == "last-modified")
            r.result.lastModified = httpHeaderValue(line);
        else if (name == "content-type")
            r.result.contentType = httpHeaderValue(line);
        else if (name == "date")
            r.result.date = httpHeaderValue(line);
    }
    curl_off_t retry = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retry) == CURLE_OK && retry > 0)
        r.result.retryAfter = std::chrono::seconds(retry);
}

}  // namespace

CurlTransfer::CurlTransfer(const CurlGet& request) : m_state(std::make_unique<State>()) {
    initCurlOnce();
    State& s = *m_state;
    s.maxBody = request.limits.maxBodyBytes;
    // A value with a line break would put header lines of its own on the wire.
    for (const std::string& h : request.headers)
        if (hasLineBreak(h)) {
            s.refused = true;
            s.response.result.error = gbk("请求头里有换行符，已拒绝发送");
            return;
        }
    if (hasLineBreak(request.userAgent) || hasLineBreak(request.url)) {
        s.refused = true;
        s.response.result.error = gbk("网址或浏览器标识里有换行符，已拒绝发送");
        return;
    }
    m_easy = curl_easy_init();
    if (!m_easy) {
        s.refused = true;
        s.response.result.error = gbk("无法开始 HTTP 传输");
        return;
    }
    for (const std::string& h : request.headers) s.headers = curl_slist_append(s.headers, h.c_str());
    s.url = request.url;
    s.userAgent = request.userAgent;
    CURL* easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_URL, s.url.c_str());
    // Only web pages, also after a redirect: never file://, gopher://, dict:// or the like.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, s.headers);
    if (!s.userAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, s.userAgent.c_str());
    if (request.acceptCompressed) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    if (request.acceptCompressed && request.keepCompressed)
        curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    s.keepCompressed = request.acceptCompressed && request.keepCompressed;
    if (request.freshConnection) curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    // HTTP/2 where the site offers it over TLS; such a transfer waits for a connection that can
    // carry it as one more stream rather than opening another (the TLS handshake tells at once).
    // Plain http never multiplexes: waiting there would wait for a whole answer.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    if (s.url.rfind("https:", 0) == 0) curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, request.verifyTls ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, request.verifyTls ? 2L : 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.limits.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.overallTimeout.count()));
    // A page announced larger than the cap is refused before any of it is read.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.limits.maxBodyBytes));
    if (request.limits.stallTimeout.count() > 0) {
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, request.limits.minBytesPerSecond));
        long seconds = static_cast<long>((request.limits.stallTimeout.count() + 999) / 1000);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, s.errorBuffer);
}

CurlTransfer::~CurlTransfer() {
    if (m_easy) curl_easy_cleanup(m_easy);
    if (m_state) curl_slist_free_all(m_state->headers);
}

std::size_t CurlTransfer::receivedBytes() const { return m_state->response.result.body.capacity(); }

CurlResponse CurlTransfer::finish(int curlCode) {
    State& s = *m_state;
    CurlResponse r = std::move(s.response);
    if (s.refused) return r;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &r.result.status);
    const auto code = static_cast<CURLcode>(curlCode);
    r.curlCode = curlCode;
    long connects = 0;
    r.reusedConnection =
        curl_easy_getinfo(m_easy, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK && connects == 0;
    long version = 0;
    r.multiplexed = curl_easy_getinfo(m_easy, CURLINFO_HTTP_VERSION, &version) == CURLE_OK &&
                    version >= CURL_HTTP_VERSION_2_0;
    if (s.overflow || code == CURLE_FILESIZE_EXCEEDED) {
        r.result.body.clear();
        r.result.body.shrink_to_fit();
        r.result.error = gbk("页面超过 ") + std::to_string(s.maxBody >> 20) + gbk(" MB，已放弃");
    } else if (code != CURLE_OK) {
        r.result.body.clear();
        r.result.error = failureReason(code, s.errorBuffer);
    }
    readResponseHeaders(m_easy, r);
    // Codings in the order they were applied (several headers, or a list in one).
    if (s.keepCompressed && !r.result.body.empty())
        for (const std::string& line : gbkSplit(r.headerText, "\r\n"))
            if (asciiLower(httpHeaderName(line)) == "content-encoding")
                for (const std::string& item : gbkSplit(httpHeaderValue(line), ",")) {
                    const std::string coding = asciiLower(trimSpaces(item));
                    if (coding.empty() || coding == "identity") continue;
                    r.keptEncoding +=
                        (r.keptEncoding.empty() ? "" : ",") + (coding == "x-gzip" ? "gzip" : coding);
                }
    if (code == CURLE_OK && r.result.status >= 300 && r.result.status < 400 && r.result.status != 304) {
        char* target = nullptr;
        if (curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_URL, &target) == CURLE_OK && target)
            r.redirectTo = target;
        for (const std::string& line : gbkSplit(r.headerText, "\r\n"))
            if (asciiLower(httpHeaderName(line)) == "location") r.location = httpHeaderValue(line);
    }
    return r;
}

namespace {

bool sendsCredentials(const std::string& line) {
    const std::string name = asciiLower(line.substr(0, line.find_first_of(":;")));
    return name == "cookie" || name == "authorization" || name == "proxy-authorization";
}

}  // namespace

std::optional<CurlGet> followRedirect(const CurlGet& request, CurlResponse& response) {
    if (response.redirectTo.empty()) return std::nullopt;
    if (!isWebAddress(response.redirectTo)) {
        response.result.error = gbk("只能访问 http 和 https：重定向到其他协议，已拒绝");
        response.result.body.clear();
        return std::nullopt;
    }
    if (request.redirects >= kMaxRedirects) {
        response.result.error = gbk("重定向超过 ") + std::to_string(kMaxRedirects) + gbk(" 次，已放弃");
        response.result.body.clear();
        return std::nullopt;
    }
    CurlGet next = request;
    if (next.origin.empty()) next.origin = urlOrigin(request.url);
    next.url = response.redirectTo;
    ++next.redirects;
    // Where the site says it goes, as it wrote it: a relative Location stays on the origin.
    const bool schemeless = response.location.starts_with("//");
    const std::string written = isWebAddress(response.location) ? response.location
                                : schemeless ? splitUrl(request.url).scheme + ":" + response.location
                                             : request.url;
    if (urlOrigin(written) != next.origin || urlOrigin(next.url) != next.origin) next.leftOrigin = true;
    if (next.leftOrigin) {
        next.headers.erase(std::remove_if(next.headers.begin(), next.headers.end(), sendsCredentials),
                           next.headers.end());
        // Another site learns where the visit came from, not the page (a browser's default
        // policy), and nothing at all over plain http after https.
        const bool downgrade = next.origin.starts_with("https:") && asciiLower(next.url).starts_with("http:");
        for (auto it = next.headers.begin(); it != next.headers.end();) {
            if (asciiLower(httpHeaderName(*it)) != "referer") {
                ++it;
                continue;
            }
            if (downgrade) {
                it = next.headers.erase(it);
                continue;
            }
            *it = "Referer: " + refererOrigin(httpHeaderValue(*it));
            ++it;
        }
    }
    return next;
}

std::optional<CurlGet> retryOnFreshConnection(const CurlGet& request, const CurlResponse& response) {
    switch (static_cast<CURLcode>(response.curlCode)) {
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            break;
        default:
            return std::nullopt;
    }
    if (!response.reusedConnection || request.freshConnection) return std::nullopt;
    CurlGet again = request;
    again.freshConnection = true;
    return again;
}

CurlResponse CurlTransfer::cancelled() {
    CurlResponse r;
    r.result.cancelled = true;
    r.result.error = "cancelled";
    return r;
}

namespace {

CurlResponse performOnce(const CurlGet& request) {
    CurlTransfer transfer(request);
    if (!transfer.handle()) return transfer.finish(CURLE_OK);
    CURLM* multi = curl_multi_init();
    if (!multi) return transfer.finish(CURLE_FAILED_INIT);
    curl_multi_add_handle(multi, transfer.handle());
    // Driven through the multi interface so a stop request is seen within 100 ms, even while
    // the server sends nothing.
    bool cancelled = false;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (!running) break;
        if (request.cancel && request.cancel()) {
            cancelled = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    CURLcode code = CURLE_OK;
    int pending = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &pending))
        if (msg->msg == CURLMSG_DONE) code = msg->data.result;
    curl_multi_remove_handle(multi, transfer.handle());
    curl_multi_cleanup(multi);
    return cancelled ? CurlTransfer::cancelled() : transfer.finish(code);
}

}  // namespace

CurlResponse performGet(const CurlGet& request) {
    CurlGet current = request;
    for (;;) {
        CurlResponse response = performOnce(current);
        if (response.result.cancelled) return response;
        std::optional<CurlGet> next = followRedirect(current, response);
        if (!next) {
            response.leftOrigin = current.leftOrigin;
            return response;
        }
        current = std::move(*next);
    }
}

std::string curlHeaderLine(const std::string& name, const std::string& value) {
    return value.empty() ? name + ";" : name + ": " + value;
}

void appendHeaderText(std::vector<std::string>& curlLines, const std::string& headerText) {
    for (const std::string& line : gbkSplit(headerText, "\r\n")) {
        std::string name = httpHeaderName(line);
        if (!name.empty())
            curlLines.push_back(curlHeaderLine(gbkToUtf8(name), gbkToUtf8(httpHeaderValue(line))));
    }
}

namespace {

// One layer of gzip or deflate undone, at most maxBody bytes. nullopt: not such a stream;
// tooLarge: it inflates past maxBody.
std::optional<std::string> inflateLayer(std::string_view packed, std::size_t maxBody, bool& tooLarge) {
    // gzip or zlib by their headers; a bare deflate stream (as some servers send "deflate") next.
    for (int windowBits : {15 + 32, -15}) {
        z_stream z{};
        if (inflateInit2(&z, windowBits) != Z_OK) return std::nullopt;
        std::string out;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        z.avail_in = static_cast<uInt>(packed.size());
        char chunk[64 * 1024];
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(chunk);
            z.avail_out = sizeof chunk;
            rc = inflate(&z, Z_NO_FLUSH);
            const std::size_t got = sizeof chunk - z.avail_out;
            if (out.size() + got > maxBody) {
                inflateEnd(&z);
                tooLarge = true;
                return std::nullopt;
            }
            out.append(chunk, got);
        }
        inflateEnd(&z);
        if (rc == Z_STREAM_END) return out;
    }
    return std::nullopt;
}

}  // namespace

void inflateHeldBody(CurlResponse& response, std::size_t maxBody) {
    if (response.keptEncoding.empty()) return;
    const std::vector<std::string> codings = gbkSplit(response.keptEncoding, ",");
    response.keptEncoding.clear();
    std::string body = std::move(response.result.body);
    response.result.body = std::string();
    bool tooLarge = false, ok = codings.size() <= 3;  // more layers than that is no page
    // The last coding applied is undone first.
    for (auto it = codings.rbegin(); ok && it != codings.rend(); ++it) {
        std::optional<std::string> inner;
        if (*it == "gzip" || *it == "deflate") inner = inflateLayer(body, maxBody, tooLarge);
        ok = inner.has_value();
        if (ok) body = std::move(*inner);
    }
    if (tooLarge)
        response.result.error = gbk("页面超过 ") + std::to_string(maxBody >> 20) + gbk(" MB，已放弃");
    else if (!ok)
        response.result.error = gbk("网络错误: 页面的压缩数据有误");
    else
        response.result.body = std::move(body);
}

}  // namespace tovi
