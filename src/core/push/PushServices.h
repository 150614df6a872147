#pragma once
// Each service's request, as the service documents it, and how to read its answer. A message
// counts as delivered only when the service says it took it: a 2xx status and, where the
// service answers with a code of its own, that code.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/net/Fetch.h"
#include "core/push/PushChannel.h"
#include "core/push/PushDigest.h"

namespace tovi {

struct PushRequest {
    std::string url;                   // http(s), or smtp(s) for mail
    std::vector<std::string> headers;  // "Name: value", made only of checked parts
    std::string body;
    std::string user, password;  // ntfy's basic login; the mail account
    bool mail = false;
    bool requireTls = false;  // mail: STARTTLS or nothing
    std::string mailFrom;
    std::vector<std::string> mailTo;
};

// What a service allows: the text's size, its form, and how many messages in how long.
struct ServiceLimits {
    std::size_t bytes = 4000;
    PushForm form = PushForm::Plain;
    int perWindow = 0;  // 0: no limit of ours
    int windowSeconds = 0;
};
ServiceLimits serviceLimits(const PushAddress& address);

// The request that hands the message to the service; nowMs signs DingTalk and Feishu messages.
PushRequest buildPushRequest(const PushAddress& address, const PushMessage& message, std::int64_t nowMs);

struct PushAnswer {
    long status = 0;                         // HTTP status (or the SMTP server's last code); 0: no answer
    std::string body;                        // as sent, at most 64 KB
    std::string error;                       // the transport's reason when there was no answer
    bool completed = false;                  // the transfer ended as it should (mail: the server took it)
    std::optional<std::int64_t> retryAfter;  // seconds
};

struct PushVerdict {
    bool accepted = false;
    std::string why;  // GBK; why not
    std::optional<std::int64_t> retryAfter;
};
PushVerdict judgePushAnswer(const PushAddress& address, const PushAnswer& answer);

// Sends one request (no redirect followed, certificates checked) within timeout.
PushAnswer sendPushRequest(const PushRequest& request, std::chrono::milliseconds timeout,
                           const CancelCheck& cancel = {});

// Helpers the signatures and the mail need.
std::string base64Of(std::string_view bytes);
std::string hmacSha256(std::string_view key, std::string_view message);
std::string formEncoded(std::string_view text);
// A header value in RFC 2047 form when it is not plain ASCII.
std::string encodedWord(const std::string& utf8);

}  // namespace tovi
