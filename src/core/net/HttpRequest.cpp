#include "core/net/HttpRequest.h"

#include "core/net/CurlTransfer.h"
#include "core/net/HttpHeaders.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {

std::string completeDefaultHeaders(const std::string& extraHeaders, const std::string& url,
                                   bool addUserAgent) {
    std::string h = extraHeaders;
    if (h.empty())
        h = "Accept: */*";
    else if (!gbkContains(h, "Accept:"))
        h += "\r\nAccept: */*";
    if (!gbkContains(h, "Referer:")) h += "\r\nReferer: " + refererOf(url);
    if (!gbkContains(h, "Accept-Language:")) h += "\r\nAccept-Language: zh-cn";
    if (addUserAgent && !gbkContains(h, "User-Agent:"))
        h += std::string("\r\nUser-Agent: ") + kDefaultUserAgent;
    if (!gbkContains(h, "Content-Type:")) h += "\r\nContent-Type: application/x-www-form-urlencoded";
    return h;
}

Result<CurlGet> monitorRequest(const std::string& url, const std::string& cookie,
                               const std::string& extraHeaders, const FetchLimits& limits) {
    if (Result<> allowed = checkWebUrl(url); !allowed) return Error{allowed.error()};
    CurlGet get;
    get.url = urlForWire(url);
    // The cookie goes first, then the completed header text line by line.
    if (!cookie.empty()) get.headers.push_back(curlHeaderLine("Cookie", gbkToUtf8(cookie)));
    appendHeaderText(get.headers, completeDefaultHeaders(extraHeaders, url, true));
    get.verifyTls = false;
    get.acceptCompressed = true;
    get.limits = limits;
    return get;
}

void mergeResponseCookies(const CurlResponse& response, std::string& cookie) {
    // Cookies another site set are that site's: they never join the plan's.
    if (response.leftOrigin) return;
    // Header values went out as UTF-8; what comes back in UTF-8 is turned into GBK again so a
    // cookie survives a visit unchanged (bytes that are not UTF-8 are kept as they came).
    std::string received = collectSetCookies(normaliseSetCookieNames(wireTextToGbk(response.headerText)));
    mergeCookies(cookie, received);
}

FetchResult fetchForMonitoring(const std::string& url, std::string& cookie, const std::string& extraHeaders,
                               const CancelCheck& cancel, const FetchLimits& limits) {
    Result<CurlGet> get = monitorRequest(url, cookie, extraHeaders, limits);
    if (!get) {
        FetchResult result;
        result.error = get.error();
        return result;
    }
    get->cancel = cancel;
    CurlResponse response = performGet(*get);
    mergeResponseCookies(response, cookie);
    return std::move(response.result);
}

}  // namespace tovi
