#pragma once
// The monitoring fetch: one GET with browser-like default headers; the caller's cookie is
// sent first and comes back merged with the cookies the response set.
#include <string>

#include "core/net/Fetch.h"

namespace tovi {

constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The caller's header text completed with the defaults it lacks (case-sensitive presence
// tests): Accept, Referer, Accept-Language, User-Agent (when asked), Content-Type, in that order.
std::string completeDefaultHeaders(const std::string& extraHeaders, const std::string& url,
                                   bool addUserAgent);

// Follows redirects, ignores certificate errors (the monitored sites are public list pages,
// some with broken certificates), 15 s to connect and 15 s without data at most. Never
// throws; a failure gives an empty body. HTTP error pages are returned like any page.
FetchResult HttpRequest(const std::string& url, std::string& cookie, const std::string& extraHeaders,
                        const CancelCheck& cancel = {}, const FetchLimits& limits = {});

}  // namespace tovi
