#include "core/push/PushServices.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "core/text/Gbk.h"

namespace tovi {
namespace {

using json = nlohmann::json;

std::string dumped(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string baseOr(const PushAddress& a, const std::string& own) { return a.base.empty() ? own : a.base; }

std::string webScheme(const PushAddress& a) { return a.tls ? "https://" : "http://"; }

bool isLoopbackHost(const std::string& hostPort) {
    const std::string host = hostPort.substr(0, hostPort.rfind(':'));
    return host.rfind("127.", 0) == 0 || host == "localhost" || host == "[::1]";
}

std::string withPort(const std::string& host, const char* port) {
    const bool hasPort = host.back() != ']' && host.find(':') != std::string::npos;
    return hasPort || (host.front() == '[' && host.find("]:") != std::string::npos) ? host
                                                                                    : host + ":" + port;
}

std::string rfc5322Date(std::int64_t nowMs) {
    const std::time_t t = static_cast<std::time_t>(nowMs / 1000);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return text;
}

// The mail as the server receives it: UTF-8 text, base64 in lines of 76.
std::string mailText(const PushAddress& a, const PushMessage& m, std::int64_t nowMs) {
    std::string to;
    for (const std::string& r : a.to) to += (to.empty() ? "" : ", ") + r;
    std::string body = base64Of(m.text);
    std::string wrapped;
    for (std::size_t i = 0; i < body.size(); i += 76) wrapped += body.substr(i, 76) + "\r\n";
    return "Date: " + rfc5322Date(nowMs) + "\r\nFrom: " + a.from + "\r\nTo: " + to +
           "\r\nSubject: " + encodedWord(m.title) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\nX-Mailer: Tovidesk\r\n\r\n" +
           wrapped;
}

std::string shortGbk(const std::string& utf8) {
    std::string s = utf8Prefix(utf8, 200);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return utf8ToGbk(s);
}

}  // namespace

std::string base64Of(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string hmacSha256(std::string_view key, std::string_view message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length);
    return std::string(reinterpret_cast<char*>(digest), length);
}

std::string formEncoded(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string encodedWord(const std::string& utf8) {
    std::string clean;
    bool plain = true;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) continue;  // never a line break in a header
        if (u >= 0x80) plain = false;
        clean += c;
    }
    if (plain) return clean;
    return "=?UTF-8?B?" + base64Of(clean) + "?=";
}

ServiceLimits serviceLimits(const PushAddress& a) {
    switch (a.service) {
        case PushService::Ntfy:
            return {4000, PushForm::Plain};
        case PushService::Telegram:
            return {3800, PushForm::Html, 30, 1};
        case PushService::Bark:
            return {2800, PushForm::Plain};
        case PushService::ServerChan:
            return {30000, PushForm::Markdown, a.dailyQuota ? a.dailyQuota : 5, 86400};
        case PushService::PushPlus:
            return {18000, PushForm::Html, 200, 86400};
        case PushService::WeCom:
            return {3800, PushForm::Markdown, 20, 60};
        case PushService::DingTalk:
            return {18000, PushForm::Markdown, 20, 60};
        case PushService::Feishu:
            return {18000, PushForm::Plain, 100, 60};
        case PushService::Gotify:
            return {30000, PushForm::Plain};
        case PushService::Mail:
            return {60000, PushForm::Plain};
        case PushService::Json:
            return {60000, PushForm::Json};
    }
    return {};
}

PushRequest buildPushRequest(const PushAddress& a, const PushMessage& m, std::int64_t nowMs) {
    PushRequest r;
    const std::string jsonType = "Content-Type: application/json; charset=utf-8";
    r.headers.push_back("User-Agent: Tovidesk");
    switch (a.service) {
        case PushService::Ntfy:
            r.url = baseOr(a, webScheme(a) + a.host) + "/" + a.path;
            r.headers.push_back("Content-Type: text/plain; charset=utf-8");
            r.headers.push_back("Title: " + encodedWord(m.title));
            if (!m.click.empty()) r.headers.push_back("Click: " + encodedWord(m.click));
            r.user = a.user;
            r.password = a.password;
            r.body = m.text;
            break;
        case PushService::Telegram:
            r.url = baseOr(a, "https://api.telegram.org") + "/bot" + a.token + "/sendMessage";
            r.headers.push_back(jsonType);
            r.body = dumped({{"chat_id", a.chat},
                             {"text", "<b>" + m.title + "</b>\n\n" + m.text},
                             {"parse_mode", "HTML"},
                             {"disable_web_page_preview", true}});
            break;
        case PushService::Bark: {
            r.url = baseOr(a, "https://" + a.host) + "/push";
            r.headers.push_back(jsonType);
            json doc = {{"device_key", a.token}, {"title", m.title}, {"body", m.text}, {"group", "Tovidesk"}};
            if (!m.click.empty()) doc["url"] = m.click;
            r.body = dumped(doc);
            break;
        }
        case PushService::ServerChan:
            r.url = baseOr(a, "https://sctapi.ftqq.com") + "/" + a.token + ".send";
            r.headers.push_back("Content-Type: application/x-www-form-urlencoded");
            r.body = "title=" + formEncoded(m.title) + "&desp=" + formEncoded(m.text);
            break;
        case PushService::PushPlus: {
            std::string content;
            for (char c : m.text) content += c == '\n' ? std::string("<br>\n") : std::string(1, c);
            r.url = baseOr(a, "https://www.pushplus.plus") + "/send";
            r.headers.push_back(jsonType);
            r.body =
                dumped({{"token", a.token}, {"title", m.title}, {"content", content}, {"template", "html"}});
            break;
        }
        case PushService::WeCom:
            r.url = baseOr(a, "https://qyapi.weixin.qq.com") + "/cgi-bin/webhook/send?key=" + a.token;
            r.headers.push_back(jsonType);
            r.body = dumped(
                {{"msgtype", "markdown"}, {"markdown", {{"content", "**" + m.title + "**\n" + m.text}}}});
            break;
        case PushService::DingTalk: {
            r.url = baseOr(a, "https://oapi.dingtalk.com") + "/robot/send?access_token=" + a.token;
            if (!a.secret.empty()) {
                const std::string timestamp = std::to_string(nowMs);
                const std::string sign = base64Of(hmacSha256(a.secret, timestamp + "\n" + a.secret));
                r.url += "&timestamp=" + timestamp + "&sign=" + formEncoded(sign);
            }
            r.headers.push_back(jsonType);
            r.body =
                dumped({{"msgtype", "markdown"},
                        {"markdown", {{"title", m.title}, {"text", "### " + m.title + "\n\n" + m.text}}}});
            break;
        }
        case PushService::Feishu: {
            r.url = baseOr(a, "https://open.feishu.cn") + "/open-apis/bot/v2/hook/" + a.token;
            r.headers.push_back(jsonType);
            json doc = {{"msg_type", "text"}, {"content", {{"text", m.title + "\n" + m.text}}}};
            if (!a.secret.empty()) {
                const std::string timestamp = std::to_string(nowMs / 1000);
                doc["timestamp"] = timestamp;
                doc["sign"] = base64Of(hmacSha256(timestamp + "\n" + a.secret, ""));
            }
            r.body = dumped(doc);
            break;
        }
        case PushService::Gotify:
            r.url = baseOr(a, webScheme(a) + a.host) + a.path + "/message";
            r.headers.push_back(jsonType);
            r.headers.push_back("X-Gotify-Key: " + a.token);
            r.body = dumped({{"title", m.title}, {"message", m.text}, {"priority", 5}});
            break;
        case PushService::Mail: {
            r.mail = true;
            const std::string own =
                a.tls ? "smtps://" + withPort(a.host, "465") : "smtp://" + withPort(a.host, "587");
            r.url = baseOr(a, own);
            // A relay on this machine may speak plain SMTP; anywhere else the password is never sent in
            // clear.
            const std::string server = r.url.substr(r.url.find("://") + 3);
            r.requireTls = r.url.rfind("smtp://", 0) == 0 && !isLoopbackHost(server);
            r.user = a.user;
            r.password = a.password;
            r.mailFrom = a.from;
            r.mailTo = a.to;
            r.body = mailText(a, m, nowMs);
            r.headers.clear();
            break;
        }
        case PushService::Json:
            r.url = baseOr(a, webScheme(a) + a.host) + a.path;
            r.headers.push_back(jsonType);
            r.body = m.text;
            break;
    }
    return r;
}

PushVerdict judgePushAnswer(const PushAddress& a, const PushAnswer& answer) {
    PushVerdict v;
    v.retryAfter = answer.retryAfter;
    if (a.service == PushService::Mail) {
        v.accepted = answer.completed;
        if (!v.accepted) v.why = gbk("邮件未能发出：") + answer.error;
        return v;
    }
    if (answer.status == 0) {
        v.why = gbk("无法连接推送服务：") + answer.error;
        return v;
    }
    json doc = json::parse(answer.body, nullptr, false);
    if (answer.status == 429) {
        if (!v.retryAfter && doc.is_object() && doc.contains("parameters") && doc["parameters"].is_object() &&
            doc["parameters"].value("retry_after", 0) > 0)
            v.retryAfter = doc["parameters"].value("retry_after", 0);
        v.why = gbk("推送服务要求稍后再发（HTTP 429）");
        return v;
    }
    if (answer.status < 200 || answer.status >= 300) {
        v.why = gbk("推送服务拒绝了消息（HTTP ") + std::to_string(answer.status) + gbk("）：") +
                shortGbk(answer.body);
        return v;
    }
    // The services that answer 200 with a code of their own: the code says whether it was taken.
    auto codeIs = [&](const char* key, long long wanted) {
        return doc.is_object() && doc.contains(key) && doc[key].is_number_integer() &&
               doc[key].get<long long>() == wanted;
    };
    auto said = [&](const char* key) {
        return doc.is_object() && doc.contains(key) && doc[key].is_string()
                   ? shortGbk(doc[key].get<std::string>())
                   : shortGbk(answer.body);
    };
    switch (a.service) {
        case PushService::Telegram:
            v.accepted = doc.is_object() && doc.value("ok", false);
            if (!v.accepted) v.why = gbk("Telegram 没有接受：") + said("description");
            break;
        case PushService::Bark:
            v.accepted = codeIs("code", 200);
            if (!v.accepted) v.why = gbk("Bark 没有接受：") + said("message");
            break;
        case PushService::ServerChan:
            v.accepted = codeIs("code", 0);
            if (!v.accepted) v.why = gbk("Server酱 没有接受：") + said("message");
            break;
        case PushService::PushPlus:
            v.accepted = codeIs("code", 200);
            if (!v.accepted) v.why = gbk("PushPlus 没有接受：") + said("msg");
            break;
        case PushService::WeCom:
        case PushService::DingTalk:
            v.accepted = codeIs("errcode", 0);
            if (!v.accepted) {
                v.why = pushServiceName(a.service) + gbk(" 没有接受：") + said("errmsg");
                // Sent too often (DingTalk 130101, WeCom 45009): try again after the minute.
                if (codeIs("errcode", 130101) || codeIs("errcode", 45009)) v.retryAfter = 60;
            }
            break;
        case PushService::Feishu:
            v.accepted = codeIs("code", 0) || codeIs("StatusCode", 0);
            if (!v.accepted) v.why = gbk("飞书 没有接受：") + said("msg");
            break;
        default:
            v.accepted = true;
    }
    return v;
}

}  // namespace tovi
