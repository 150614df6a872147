#include "core/net/DirectHttpRequest.h"

#include "core/net/CurlTransfer.h"
#include "core/net/HttpHeaders.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {

FetchLimits directRequestLimits() {
    FetchLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(60000);
    limits.stallTimeout = std::chrono::milliseconds(0);
    limits.overallTimeout = std::chrono::milliseconds(60000);
    return limits;
}

std::string directRequestAgent(const std::string& extraHeaders) {
    if (!gbkContains(extraHeaders, "User-Agent:", CaseMode::AsciiInsensitive)) return kDefaultUserAgent;
    std::string agent = trimSpaces(textBetween(extraHeaders + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty()) agent = httpHeaderValue(extraHeaders);
    return agent;
}

std::string completeDirectRequestHeaders(const std::string& url, const std::string& cookie,
                                         const std::string& extraHeaders) {
    std::string h = completeDefaultHeaders(extraHeaders, url, false);
    // When the caller already sends a Cookie line, that line wins: a bare cookie text would
    // be a header line without a name.
    if (!cookie.empty() && !gbkContains(h, "Cookie:")) h += "\r\nCookie: " + cookie;
    return h;
}

FetchResult fetchForTest(const std::string& url, const std::string& cookie, const std::string& extraHeaders,
                         const CancelCheck& cancel, const FetchLimits& limits) {
    if (Result<> allowed = checkWebUrl(url); !allowed) {
        FetchResult refused;
        refused.error = allowed.error();
        return refused;
    }
    CurlGet get;
    get.url = urlForWire(url);
    get.userAgent = gbkToUtf8(directRequestAgent(extraHeaders));
    appendHeaderText(get.headers, completeDirectRequestHeaders(url, cookie, extraHeaders));
    get.verifyTls = true;
    get.limits = limits;
    get.cancel = cancel;
    return performGet(get).result;
}

}  // namespace tovi
