#pragma once
// The monitoring fetch: one GET with browser-like default headers; the caller's cookie is
// sent first and comes back merged with the cookies the response set.
#include <string>

#include "core/Result.h"
#include "core/net/CurlTransfer.h"
#include "core/net/Fetch.h"

namespace tovi {

constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The caller's header text completed with the defaults it lacks (case-sensitive presence
// tests): Accept, Referer, Accept-Language, User-Agent (when asked), Content-Type, in that order.
std::string completeDefaultHeaders(const std::string& extraHeaders, const std::string& url,
                                   bool addUserAgent);

// The request fetchForMonitoring sends: follows redirects, ignores certificate errors (the monitored
// sites are public list pages, some with broken certificates), 15 s to connect and 15 s
// without data at most, compressed pages welcome. A URL that is not http(s) is refused.
Result<CurlGet> monitorRequest(const std::string& url, const std::string& cookie,
                               const std::string& extraHeaders, const FetchLimits& limits);

// What a response means for the plan's cookie: the cookies it set are merged into it.
void mergeResponseCookies(const CurlResponse& response, std::string& cookie);

// Never throws; a failure gives an empty body and a reason. HTTP error pages are returned like
// any page.
FetchResult fetchForMonitoring(const std::string& url, std::string& cookie, const std::string& extraHeaders,
                               const CancelCheck& cancel = {}, const FetchLimits& limits = {});

}  // namespace tovi
