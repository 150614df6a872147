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
    if (!gbkContains(h, "Referer:")) h += "\r\nReferer: " + url;
    if (!gbkContains(h, "Accept-Language:")) h += "\r\nAccept-Language: zh-cn";
    if (addUserAgent && !gbkContains(h, "User-Agent:"))
        h += std::string("\r\nUser-Agent: ") + kDefaultUserAgent;
    if (!gbkContains(h, "Content-Type:")) h += "\r\nContent-Type: application/x-www-form-urlencoded";
    return h;
}

std::vector<std::pair<std::string, std::string>> httpRequestHeaderLines(const std::string& url,
                                                                        const std::string& cookie,
                                                                        const std::string& extraHeaders) {
    std::vector<std::pair<std::string, std::string>> lines;
    if (!cookie.empty()) lines.emplace_back("Cookie", cookie);
    for (const std::string& line : gbkSplit(completeDefaultHeaders(extraHeaders, url, true), "\r\n")) {
        std::string name = HttpHeaderName(line);
        if (!name.empty()) lines.emplace_back(name, HttpHeaderValue(line));
    }
    return lines;
}

FetchResult HttpRequest(const std::string& url, std::string& cookie, const std::string& extraHeaders,
                        const CancelCheck& cancel, const FetchLimits& limits) {
    CurlGet get;
    get.url = urlForWire(url);
    for (const auto& [name, value] : httpRequestHeaderLines(url, cookie, extraHeaders))
        get.headers.push_back(curlHeaderLine(gbkToUtf8(name), gbkToUtf8(value)));
    get.verifyTls = false;
    get.limits = limits;
    get.cancel = cancel;
    CurlResponse response = performGet(get);

    std::string received = CollectSetCookies(normaliseSetCookieNames(response.headerText));
    MergeCookies(cookie, received);
    return std::move(response.result);
}

}  // namespace tovi
