#include "core/net/Url.h"

#include <idn2.h>

#include <algorithm>
#include <vector>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

bool isSchemeChar(char c, bool first) {
    bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return first ? alpha : alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Length of a leading "scheme:" (colon included), 0 when there is none. "host:8080" is a host
// with a port, not a scheme.
std::size_t schemeLength(std::string_view url) {
    std::size_t i = 0;
    while (i < url.size() && isSchemeChar(url[i], i == 0)) ++i;
    if (i == 0 || i >= url.size() || url[i] != ':') return 0;
    bool portFollows = i + 1 < url.size() && url[i + 1] >= '0' && url[i + 1] <= '9';
    return portFollows ? 0 : i + 1;
}

}  // namespace

UrlParts splitUrl(std::string_view url) {
    UrlParts parts;
    std::string_view rest = url;
    std::size_t schemeLen = schemeLength(url);
    if (schemeLen > 0 && url.substr(schemeLen, 2) == "//") {
        parts.scheme = asciiLower(url.substr(0, schemeLen - 1));
        parts.hasScheme = true;
        rest = url.substr(schemeLen + 2);
    } else {
        parts.scheme = "http";
    }
    std::size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view tail =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        parts.userInfo = std::string(authority.substr(0, at));
        authority.remove_prefix(at + 1);
    }
    std::size_t hostEnd;
    if (!authority.empty() && authority.front() == '[') {
        std::size_t close = authority.find(']');
        hostEnd = close == std::string_view::npos ? authority.size() : close + 1;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
    }
    parts.host = asciiLower(authority.substr(0, hostEnd));
    if (hostEnd < authority.size() && authority[hostEnd] == ':') {
        parts.hasPort = true;
        parts.port = std::string(authority.substr(hostEnd + 1));
    }

    std::string_view path = tail.substr(0, tail.find('#'));
    if (path.empty())
        parts.path = "/";
    else if (path.front() == '?')
        parts.path = "/" + std::string(path);
    else
        parts.path = std::string(path);
    return parts;
}

std::string urlHost(std::string_view url, bool keepPort) {
    UrlParts parts = splitUrl(url);
    return keepPort && parts.hasPort ? parts.host + ":" + parts.port : parts.host;
}

Result<> checkWebUrl(std::string_view url) {
    std::size_t schemeLen = schemeLength(url);
    if (schemeLen == 0) return {};
    std::string scheme = asciiLower(url.substr(0, schemeLen - 1));
    if (scheme == "http" || scheme == "https") return {};
    return Error{gbk("只能访问 http:// 或 https:// 开头的网址，已拒绝：") + std::string(url.substr(0, 200))};
}

namespace {

// A host name in another script in its ASCII form (例子.测试 → xn--fsqu00a.xn--0zwm56d), as
// DNS knows it; the name as it was when it cannot be converted.
std::string asciiHost(const std::string& utf8Host) {
    if (std::all_of(utf8Host.begin(), utf8Host.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return utf8Host;
    char* ascii = nullptr;
    std::string host = utf8Host;
    if (idn2_to_ascii_8z(utf8Host.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) == IDN2_OK && ascii)
        host = ascii;
    idn2_free(ascii);
    return host;
}

}  // namespace

std::string urlForWire(std::string_view gbkUrl) {
    static const char kHex[] = "0123456789ABCDEF";
    UrlParts parts = splitUrl(gbkUrl);
    std::string text = parts.scheme + "://";
    if (!parts.userInfo.empty()) text += parts.userInfo + "@";
    const std::string host = asciiHost(gbkToUtf8(parts.host));
    std::string utf8 =
        gbkToUtf8(text) + host + (parts.hasPort ? ":" + parts.port : "") + gbkToUtf8(parts.path);
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c >= 0x80 || c == ' ' || c < 0x20 || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string refererOf(std::string_view url) {
    std::string out(url.substr(0, url.find('#')));
    const std::size_t schemeLen = schemeLength(out);
    const std::size_t start = schemeLen > 0 && out.compare(schemeLen, 2, "//") == 0 ? schemeLen + 2 : 0;
    const std::size_t authorityEnd = std::min(out.find_first_of("/?", start), out.size());
    const std::size_t at = out.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
    if (at != std::string::npos && at >= start && at < authorityEnd) out.erase(start, at + 1 - start);
    return out;
}

std::string refererOrigin(std::string_view url) {
    const UrlParts u = splitUrl(url);
    return u.scheme + "://" + u.host + (u.hasPort ? ":" + u.port : "") + "/";
}

bool isWebAddress(std::string_view url) {
    const std::string lower = asciiLower(url.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

std::string urlOrigin(std::string_view url) {
    const UrlParts u = splitUrl(url);
    const std::string port = u.hasPort ? u.port : (u.scheme == "https" ? "443" : "80");
    return u.scheme + "://" + u.host + ":" + port;
}

namespace {

// "/a/b/../c/./d" is "/a/c/d": dot segments go as a browser drops them.
std::string withoutDotSegments(std::string_view path) {
    std::vector<std::string_view> kept;
    std::size_t from = 0;
    const bool absolute = path.starts_with("/");
    if (absolute) from = 1;
    bool trailingSlash = false;
    while (from <= path.size()) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const std::string_view seg = path.substr(from, slash - from);
        trailingSlash = seg == "." || seg == "..";
        if (seg == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (seg != ".") {
            kept.push_back(seg);
        }
        from = slash + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t k = 0; k < kept.size(); ++k)
        out += std::string(kept[k]) + (k + 1 < kept.size() ? "/" : "");
    if (trailingSlash && !out.ends_with("/")) out += "/";
    return out;
}

}  // namespace

std::string resolveLink(std::string_view base, std::string_view link) {
    while (!link.empty() && (link.front() == ' ' || link.front() == '\t')) link.remove_prefix(1);
    if (schemeLength(link) > 0) return std::string(link);
    const std::size_t baseScheme = schemeLength(base);
    if (baseScheme == 0 || base.substr(baseScheme, 2) != "//") return std::string(link);
    const std::string_view scheme = base.substr(0, baseScheme);  // "http:"
    if (link.starts_with("//")) return std::string(scheme) + std::string(link);
    const std::size_t authorityEnd = std::min(base.find_first_of("/?#", baseScheme + 2), base.size());
    const std::string origin(base.substr(0, authorityEnd));
    std::string_view basePath = base.substr(authorityEnd);
    basePath = basePath.substr(0, basePath.find('#'));
    if (link.empty()) return origin + std::string(basePath.empty() ? "/" : basePath);
    if (link.front() == '#')
        return origin + std::string(basePath.empty() ? "/" : basePath) + std::string(link);
    const std::string_view baseDir = basePath.substr(0, basePath.find('?'));
    if (link.front() == '?') return origin + std::string(baseDir.empty() ? "/" : baseDir) + std::string(link);
    const std::size_t tailAt = std::min(link.find_first_of("?#"), link.size());
    const std::string_view path = link.substr(0, tailAt), tail = link.substr(tailAt);
    std::string merged;
    if (path.starts_with("/"))
        merged = std::string(path);
    else
        merged = std::string(baseDir.substr(0, baseDir.rfind('/') + 1)) + std::string(path);
    if (!merged.starts_with("/")) merged.insert(0, "/");
    return origin + withoutDotSegments(merged) + std::string(tail);
}

std::string pageBase(std::string_view pageUrl, std::string_view pageText) {
    // A <base> belongs in the head: the first few kilobytes hold it when there is one.
    const std::string head = asciiLower(pageText.substr(0, 64 * 1024));
    for (std::size_t at = head.find("<base"); at != std::string::npos; at = head.find("<base", at + 5)) {
        const std::size_t end = head.find('>', at);
        if (end == std::string::npos) break;
        const std::size_t href = head.find("href=", at);
        if (href == std::string::npos || href > end) continue;
        std::size_t from = href + 5;
        const char quote = head[from] == '"' || head[from] == '\'' ? head[from] : 0;
        if (quote) ++from;
        std::size_t to = quote ? head.find(quote, from) : head.find_first_of(" \t>", from);
        if (to == std::string::npos || to > end) to = end;
        const std::string value(pageText.substr(from, to - from));
        const std::string lower = asciiLower(value.substr(0, 8));
        const std::string resolved = lower.starts_with("http") ? value : resolveLink(pageUrl, value);
        if (isWebAddress(resolved)) return resolved;
        break;
    }
    return std::string(pageUrl);
}

bool isExampleUrl(std::string_view url) {
    std::string host = splitUrl(url).host;
    if (host.ends_with(".")) host.pop_back();
    for (const char* domain : {"example.com", "example.net", "example.org"})
        if (host == domain || host.ends_with(std::string(".") + domain)) return true;
    for (const char* tld : {".example", ".test", ".invalid"})
        if (host.ends_with(tld)) return true;
    return false;
}

}  // namespace tovi
