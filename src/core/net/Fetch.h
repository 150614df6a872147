#pragma once
// What a fetch gives back and how a caller can stop it. Transport failures never throw:
// they give an empty body and a reason the caller may show.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace tovi {

// Returns true when the caller wants the transfer abandoned (e.g. monitoring was stopped).
using CancelCheck = std::function<bool()>;

struct FetchResult {
    std::string body;   // raw bytes
    std::string error;  // empty on success; otherwise why nothing (or not all) came (GBK)
    long status = 0;    // HTTP status of the final response, 0 when none arrived
    bool cancelled = false;
    // What the final response said about the page and about coming back.
    std::string etag, lastModified;
    std::string date;         // the final response's Date header, as given
    std::string contentType;  // as the final response gave it
    std::optional<std::chrono::seconds> retryAfter;
};

struct FetchLimits {
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer that receives less than minBytesPerSecond over this long is abandoned (0: no
    // such limit): a site that trickles never holds up the plans queued after it for long.
    std::chrono::milliseconds stallTimeout{15000};
    long minBytesPerSecond = 1024;
    // Whatever happens, a fetch ends after this long.
    std::chrono::milliseconds overallTimeout{60000};
    std::size_t maxBodyBytes = 64u << 20;
};

}  // namespace tovi
