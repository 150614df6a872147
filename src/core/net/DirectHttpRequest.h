#pragma once
// The plan test's fetch. Unlike fetchForMonitoring: the agent comes from the header text, the
// cookie travels as a header line, no cookie is handed back, certificate errors are NOT
// ignored, and there are no 15 s limits of its own (only a 60 s bound so a test cannot hang).
#include <string>

#include "core/net/Fetch.h"

namespace tovi {

FetchLimits directRequestLimits();

// The user agent the request announces, taken from the extra header text.
std::string directRequestAgent(const std::string& extraHeaders);

// The header text completed with Accept, Referer, Accept-Language, Content-Type and Cookie.
std::string completeDirectRequestHeaders(const std::string& url, const std::string& cookie,
                                         const std::string& extraHeaders);

FetchResult fetchForTest(const std::string& url, const std::string& cookie, const std::string& extraHeaders,
                         const CancelCheck& cancel = {}, const FetchLimits& limits = directRequestLimits());

}  // namespace tovi
