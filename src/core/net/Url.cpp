#include "core/net/Url.h"

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

constexpr std::string_view kHostEnds = "/?#";

std::string hostPart(std::string_view url) {
    std::string text = asciiLower(url);
    std::size_t start;
    if (text.rfind("https://", 0) == 0) {
        start = 8;
    } else {
        std::size_t http = gbkFind(text, "http://");
        if (http == kNotFound) {
            text = "http://" + text;
            http = 0;
        }
        start = http + 7;
    }
    std::size_t end = text.find_first_of(kHostEnds, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

bool isSecureUrl(std::string_view url) { return asciiLower(url.substr(0, 8)) == "https://"; }

std::string UrlHost(std::string_view url, bool keepPort) {
    std::string host = hostPart(url);
    if (!keepPort) {
        std::size_t colon = host.find(':');
        if (colon != std::string::npos) host.resize(colon);
    }
    return host;
}

int UrlPort(std::string_view url) {
    std::string host = UrlHost(url, true);
    std::size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        auto port = TextToInt(std::string_view(host).substr(colon + 1));
        return port < 0 || port > 65535 ? 0 : static_cast<int>(port);
    }
    return asciiLower(url.substr(0, 5)) == "https" ? 443 : 80;
}

std::string UrlPath(std::string_view url) {
    std::string host = UrlHost(url, false);
    std::size_t at = gbkFind(url, host, 0, CaseMode::AsciiInsensitive);
    if (at == kNotFound) return "/";
    std::size_t mark = url.find_first_of(kHostEnds, at + host.size());
    if (mark == std::string_view::npos || url[mark] == '#') return "/";
    if (url[mark] == '?') return "/" + std::string(url.substr(mark));
    return std::string(url.substr(mark));
}

std::string urlForWire(std::string_view gbkUrl) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string utf8 = gbkToUtf8(gbkUrl);
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c >= 0x80 || c == ' ' || c < 0x20) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace tovi
