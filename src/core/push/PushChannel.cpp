#include "core/push/PushChannel.h"

#include <algorithm>
#include <map>

#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

struct SchemeInfo {
    const char* scheme;
    PushService service;
    bool tls;
};
constexpr SchemeInfo kSchemes[] = {
    {"ntfy", PushService::Ntfy, false},       {"ntfys", PushService::Ntfy, true},
    {"tgram", PushService::Telegram, true},   {"bark", PushService::Bark, true},
    {"schan", PushService::ServerChan, true}, {"pushplus", PushService::PushPlus, true},
    {"wecombot", PushService::WeCom, true},   {"dingtalk", PushService::DingTalk, true},
    {"feishu", PushService::Feishu, true},    {"gotify", PushService::Gotify, false},
    {"gotifys", PushService::Gotify, true},   {"mailto", PushService::Mail, false},
    {"mailtos", PushService::Mail, true},     {"json", PushService::Json, false},
    {"jsons", PushService::Json, true},
};

bool isAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool allOf(const std::string& s, std::string_view extra) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [&](char c) {
        return isAlnum(c) || extra.find(c) != std::string_view::npos;
    });
}

// %XX decoded; a decoded control character or a broken escape makes the part unusable.
std::optional<std::string> percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size()) return std::nullopt;
            const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
        out += c;
    }
    return out;
}

// host, host:port, [v6] or [v6]:port.
bool isHostPort(const std::string& s) {
    std::string host = s, port;
    if (!s.empty() && s[0] == '[') {
        const auto close = s.find(']');
        if (close == std::string::npos) return false;
        host = s.substr(1, close - 1);
        if (!allOf(host, ":.")) return false;
        if (close + 1 < s.size()) {
            if (s[close + 1] != ':') return false;
            port = s.substr(close + 2);
        } else {
            return true;
        }
    } else {
        const auto colon = s.find(':');
        if (colon != std::string::npos) {
            host = s.substr(0, colon);
            port = s.substr(colon + 1);
        }
        if (!allOf(host, ".-") || host.front() == '.' || host.front() == '-') return false;
        if (colon == std::string::npos) return true;
    }
    if (port.empty() || port.size() > 5) return false;
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const auto n = textToInt(port);
    return n >= 1 && n <= 65535;
}

bool isPathText(const std::string& s) { return s.empty() || allOf(s, "/_.~-"); }

Error wrong(const std::string& what) { return Error{gbk("推送地址有误：") + what}; }

// scheme://host[:port][/prefix] for ?base=.
Result<std::string> readBase(const std::string& base, bool mail) {
    const auto sep = base.find("://");
    const std::string scheme = sep == std::string::npos ? std::string() : base.substr(0, sep);
    const bool allowed =
        mail ? (scheme == "smtp" || scheme == "smtps") : (scheme == "http" || scheme == "https");
    if (!allowed)
        return wrong(gbk("base 只能是 ") + (mail ? "smtp:// / smtps://" : "http:// / https://") +
                     gbk(" 开头的地址"));
    std::string rest = base.substr(sep + 3);
    const auto slash = rest.find('/');
    const std::string host = rest.substr(0, slash);
    std::string prefix = slash == std::string::npos ? std::string() : rest.substr(slash);
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (!isHostPort(host) || !isPathText(prefix)) return wrong(gbk("base 的主机或路径含不允许的字符"));
    return scheme + "://" + host + prefix;
}

struct Parts {
    std::string scheme, body;
    std::map<std::string, std::string> query;
};

Result<Parts> splitParts(const std::string& url) {
    if (url.empty()) return Error{gbk("推送地址不能为空")};
    if (url.size() > 2048) return wrong(gbk("太长（最多 2048 个字符）"));
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7F) return wrong(gbk("只能含 ASCII 可见字符（不含空格）"));
    Parts p;
    const auto sep = url.find("://");
    if (sep == std::string::npos) return wrong(gbk("缺少 “://”，例如 ntfy://ntfy.sh/主题"));
    p.scheme = asciiLower(url.substr(0, sep));
    std::string rest = url.substr(sep + 3);
    if (const auto hash = rest.find('#'); hash != std::string::npos) return wrong(gbk("不能含 “#”"));
    const auto q = rest.find('?');
    p.body = rest.substr(0, q);
    if (q == std::string::npos) return p;
    for (const std::string& pair : gbkSplit(rest.substr(q + 1), "&")) {
        if (pair.empty()) continue;
        const auto eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        auto value = percentDecoded(eq == std::string::npos ? std::string_view()
                                                            : std::string_view(pair).substr(eq + 1));
        if (!value) return wrong(gbk("参数 ") + key + gbk(" 的值有误"));
        if (key != "base" && key != "to" && key != "from" && key != "daily")
            return wrong(gbk("参数 ") + key + gbk(" 不认识（可用：base、to、from、daily）"));
        p.query[key] = *value;
    }
    return p;
}

std::string schemeList() {
    std::string list;
    for (const SchemeInfo& s : kSchemes) list += (list.empty() ? std::string() : gbk("、")) + s.scheme;
    return list;
}

constexpr std::string_view kTokenExtra = "_-.:~";
constexpr std::string_view kSecretExtra = "_-.~+=";

// "user:pass@" before the host, decoded.
Result<> readLogin(const std::string& login, PushAddress& a) {
    const auto colon = login.find(':');
    auto user = percentDecoded(login.substr(0, colon));
    auto pass = percentDecoded(colon == std::string::npos ? std::string() : login.substr(colon + 1));
    if (!user || !pass || user->empty()) return wrong(gbk("用户名或密码有误"));
    a.user = *user;
    a.password = *pass;
    return {};
}

// A token-like part: decoded and of the characters such tokens are made of.
Result<std::string> readToken(const std::string& raw, std::string_view extra, const char* what) {
    auto decoded = percentDecoded(raw);
    if (!decoded || !allOf(*decoded, extra)) return wrong(gbk(what) + gbk(" 为空或含不允许的字符"));
    return *decoded;
}

Result<> readBody(const std::string& body, PushAddress& a) {
    auto firstSlash = body.find('/');
    const std::string head = body.substr(0, firstSlash);
    const std::string tail = firstSlash == std::string::npos ? std::string() : body.substr(firstSlash + 1);
    auto token = [&](const std::string& raw, std::string_view extra, const char* what,
                     std::string& into) -> Result<> {
        Result<std::string> t = readToken(raw, extra, what);
        if (!t) return Error{t.error()};
        into = *t;
        return {};
    };
    switch (a.service) {
        case PushService::Ntfy:
        case PushService::Gotify:
        case PushService::Json:
        case PushService::Mail: {
            std::string hostPart = head;
            if (const auto at = head.rfind('@'); at != std::string::npos) {
                if (a.service == PushService::Gotify || a.service == PushService::Json)
                    return wrong(gbk("这种地址不带用户名"));
                if (Result<> login = readLogin(head.substr(0, at), a); !login) return login;
                hostPart = head.substr(at + 1);
            }
            if (!isHostPort(hostPart)) return wrong(gbk("主机 “") + hostPart + gbk("” 有误"));
            a.host = hostPart;
            if (a.service == PushService::Ntfy) {
                if (!allOf(tail, "_-"))
                    return wrong(gbk("缺少主题，例如 ntfy://ntfy.sh/主题名（字母、数字、_ 和 -）"));
                a.path = tail;
            } else if (a.service == PushService::Gotify) {
                const auto last = tail.rfind('/');
                const std::string prefix = last == std::string::npos ? std::string() : tail.substr(0, last);
                if (!isPathText(prefix)) return wrong(gbk("路径含不允许的字符"));
                a.path = prefix.empty() ? std::string() : "/" + prefix;
                return token(last == std::string::npos ? tail : tail.substr(last + 1), kTokenExtra,
                             "应用令牌", a.token);
            } else if (a.service == PushService::Json) {
                if (!isPathText(tail)) return wrong(gbk("路径含不允许的字符"));
                a.path = "/" + tail;
            } else {
                if (!tail.empty()) return wrong(gbk("邮件地址在主机之后不带路径"));
                if (a.user.empty())
                    return wrong(gbk("缺少邮箱账号，例如 mailto://账号:密码@smtp.example.com?to=收件人"));
            }
            return {};
        }
        case PushService::Telegram:
            if (Result<> t = token(head, kTokenExtra, "机器人令牌", a.token); !t) return t;
            if (tail.empty() || !(allOf(tail, "-") || (tail[0] == '@' && allOf(tail.substr(1), "_"))))
                return wrong(gbk("缺少聊天 ID，例如 tgram://机器人令牌/聊天ID"));
            a.chat = tail;
            return {};
        case PushService::Bark: {
            const auto at = body.find('@');
            if (Result<> t = token(body.substr(0, at), kTokenExtra, "设备密钥", a.token); !t) return t;
            a.host = at == std::string::npos ? "api.day.app" : body.substr(at + 1);
            if (!isHostPort(a.host)) return wrong(gbk("主机 “") + a.host + gbk("” 有误"));
            return {};
        }
        case PushService::DingTalk:
        case PushService::Feishu:
            if (Result<> t = token(head, kTokenExtra, "机器人令牌", a.token); !t) return t;
            if (!tail.empty())
                if (Result<> s = token(tail, kSecretExtra, "签名密钥", a.secret); !s) return s;
            return {};
        case PushService::ServerChan:
        case PushService::PushPlus:
        case PushService::WeCom:
            if (!tail.empty()) return wrong(gbk("令牌之后不能再有 “/”"));
            return token(head, kTokenExtra, "令牌", a.token);
    }
    return {};
}

}  // namespace

Result<PushAddress> parsePushUrl(const std::string& url) {
    Result<Parts> parts = splitParts(url);
    if (!parts) return Error{parts.error()};
    PushAddress a;
    const SchemeInfo* info = nullptr;
    for (const SchemeInfo& s : kSchemes)
        if (parts->scheme == s.scheme) info = &s;
    if (!info)
        return wrong(gbk("开头 “") + parts->scheme + gbk("://” 不认识（可用：") + schemeList() + gbk("）"));
    a.scheme = info->scheme;
    a.service = info->service;
    a.tls = info->tls;
    if (Result<> body = readBody(parts->body, a); !body) return Error{body.error()};
    auto& q = parts->query;
    if (q.count("base")) {
        Result<std::string> base = readBase(q["base"], a.service == PushService::Mail);
        if (!base) return Error{base.error()};
        a.base = *base;
    }
    if (a.service == PushService::Mail) {
        for (const std::string& one : gbkSplit(q["to"], ",")) {
            if (one.empty()) continue;
            if (!allOf(one, "@._+-") || one.find('@') == std::string::npos)
                return wrong(gbk("收件人 “") + one + gbk("” 有误"));
            a.to.push_back(one);
        }
        if (a.to.empty()) return wrong(gbk("缺少收件人：在地址后加 ?to=收件人@example.com"));
        a.from = q.count("from") ? q["from"] : a.user;
        if (!allOf(a.from, "@._+-") || a.from.find('@') == std::string::npos)
            return wrong(gbk("发件人有误：账号不是邮箱地址时，加 &from=发件人@example.com"));
    } else if (q.count("to") || q.count("from")) {
        return wrong(gbk("只有邮件地址带 to 和 from"));
    }
    if (q.count("daily")) {
        if (a.service != PushService::ServerChan) return wrong(gbk("只有 Server酱 带 daily"));
        const auto n = textToIntChecked(q["daily"]);
        if (!n || *n < 1 || *n > 100000) return wrong(gbk("daily 应是 1 到 100000 的整数"));
        a.dailyQuota = static_cast<int>(*n);
    }
    return a;
}

std::string pushServiceName(PushService service) {
    switch (service) {
        case PushService::Ntfy:
            return "ntfy";
        case PushService::Telegram:
            return "Telegram";
        case PushService::Bark:
            return "Bark";
        case PushService::ServerChan:
            return gbk("Server酱");
        case PushService::PushPlus:
            return "PushPlus";
        case PushService::WeCom:
            return gbk("企业微信群机器人");
        case PushService::DingTalk:
            return gbk("钉钉机器人");
        case PushService::Feishu:
            return gbk("飞书机器人");
        case PushService::Gotify:
            return "Gotify";
        case PushService::Mail:
            return gbk("邮件");
        case PushService::Json:
            return "JSON webhook";
    }
    return {};
}

std::vector<std::string> pushSecrets(const PushAddress& a) {
    std::vector<std::string> out;
    for (const std::string* s : {&a.token, &a.secret, &a.password})
        if (!s->empty()) out.push_back(*s);
    // ntfy's topic is its password when the server has no login.
    if (a.service == PushService::Ntfy && a.user.empty() && !a.path.empty()) out.push_back(a.path);
    return out;
}

std::string maskedSecret(const std::string& secret) {
    if (secret.size() < 10) return gbk("…");
    return secret.substr(0, 3) + gbk("…") + secret.substr(secret.size() - 3);
}

std::string maskSecrets(std::string text, const std::vector<std::string>& secrets) {
    // Longest first: a secret inside another is masked with it.
    std::vector<std::string> sorted = secrets;
    std::sort(sorted.begin(), sorted.end(), [](const auto& x, const auto& y) { return x.size() > y.size(); });
    for (const std::string& s : sorted) {
        if (s.empty()) continue;
        const std::string masked = maskedSecret(s);
        for (std::size_t at = text.find(s); at != std::string::npos; at = text.find(s, at + masked.size()))
            text.replace(at, s.size(), masked);
    }
    return text;
}

std::string maskedPushUrl(const std::string& url) {
    Result<PushAddress> a = parsePushUrl(url);
    if (!a) {
        const auto sep = url.find("://");
        return (sep == std::string::npos ? std::string() : url.substr(0, sep + 3)) + gbk("…");
    }
    const std::vector<std::string> decoded = pushSecrets(*a);
    std::vector<std::string> secrets = decoded;
    // As written too: a percent-encoded secret is the same secret.
    Result<Parts> parts = splitParts(url);
    const std::string body = parts ? parts->body : std::string();
    std::size_t start = 0;
    while (start < body.size()) {
        const auto end = body.find_first_of("/@:", start);
        const std::string piece =
            body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (const std::string& s : decoded)
            if (piece.find('%') != std::string::npos && percentDecoded(piece) == s) secrets.push_back(piece);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return maskSecrets(url, secrets);
}

}  // namespace tovi
