#pragma once
// A push channel is one URL naming a service and what it needs (tokens, a host, recipients).
// Read here once, checked character by character: nothing a user writes can reach a request
// line, a header or another host than the one it names.
#include <string>
#include <vector>

#include "core/Result.h"

namespace tovi {

enum class PushService {
    Ntfy,
    Telegram,
    Bark,
    ServerChan,
    PushPlus,
    WeCom,
    DingTalk,
    Feishu,
    Gotify,
    Mail,
    Json
};

struct PushAddress {
    PushService service = PushService::Json;
    std::string scheme;           // as written: ntfy, ntfys, tgram, mailto, ...
    bool tls = true;              // ntfys, gotifys, jsons, mailtos; the fixed services always
    std::string user, password;   // ntfy's login; the mail account
    std::string host;             // host[:port] of a self-hosted service or mail server
    std::string path;             // ntfy's topic, gotify's prefix, json's path (with its leading "/")
    std::string token;            // the bot token, key, send key or hook
    std::string secret;           // DingTalk's and Feishu's signing secret
    std::string chat;             // Telegram's chat id
    std::vector<std::string> to;  // mail recipients
    std::string from;             // mail sender
    std::string base;    // ?base=: the service's own address replaced (scheme://host[:port][/prefix])
    int dailyQuota = 0;  // ?daily= (ServerChan): messages a day; 0: the service's default
};

// Reads a channel URL (ASCII; the parts percent-decoded). The error says which part is wrong.
Result<PushAddress> parsePushUrl(const std::string& url);

// The service's name as users know it ("ntfy", "Telegram", "钉钉" ...), GBK.
std::string pushServiceName(PushService service);

// The texts that must never be shown: tokens, secrets, passwords, keys.
std::vector<std::string> pushSecrets(const PushAddress& address);
// A secret as it may be shown: its first and last three characters ("abc…xyz"), or "…" alone
// when it is too short to keep any.
std::string maskedSecret(const std::string& secret);
// The text with every secret replaced by its masked form.
std::string maskSecrets(std::string text, const std::vector<std::string>& secrets);
// The channel URL as it may be shown (push list, errors, exports).
std::string maskedPushUrl(const std::string& url);

}  // namespace tovi
