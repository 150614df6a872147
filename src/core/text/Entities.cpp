#include "core/text/Entities.h"

#include <cstdint>
#include <map>
#include <optional>

#include "core/text/Gbk.h"

namespace tovi {
namespace {

// The references titles carry in practice, as UTF-8.
const std::map<std::string_view, std::string_view>& namedReferences() {
    static const std::map<std::string_view, std::string_view> names = {
        {"amp", "&"},   {"lt", "<"},    {"gt", ">"},    {"quot", "\""}, {"apos", "'"},
        {"nbsp", " "},  {"copy", "©"},  {"reg", "®"},   {"trade", "™"}, {"hellip", "…"},
        {"mdash", "—"}, {"ndash", "–"}, {"laquo", "«"}, {"raquo", "»"}, {"middot", "·"},
        {"ldquo", "“"}, {"rdquo", "”"}, {"lsquo", "‘"}, {"rsquo", "’"}, {"times", "×"},
        {"bull", "•"},  {"deg", "°"},   {"yen", "¥"},   {"euro", "€"},  {"pound", "£"},
    };
    return names;
}

std::string utf8Of(std::uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// The value of the four hexadecimal digits from at (a JSON "\uXXXX" escape's).
std::optional<unsigned> hex4(std::string_view s, std::size_t at) {
    if (at + 4 > s.size()) return std::nullopt;
    unsigned v = 0;
    for (std::size_t k = at; k < at + 4; ++k) {
        const int d = hexDigit(s[k]);
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<unsigned>(d);
    }
    return v;
}

// The GBK text a reference's body (between & and ;) stands for; empty when it is none we know.
std::string referenceText(std::string_view body) {
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return {};
        std::uint32_t cp = 0;
        for (char c : digits) {
            const int d = hex ? hexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (d < 0) return {};
            cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        }
        // No control characters, surrogates or values past Unicode: those stay as written.
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF)
            return {};
        return utf8ToGbk(utf8Of(cp));
    }
    auto it = namedReferences().find(body);
    return it == namedReferences().end() ? std::string() : utf8ToGbk(it->second);
}

}  // namespace

int hexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

std::string decodeEntities(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = gbkCharLength(text, i);
        if (text[i] == '&') {
            const std::size_t semi = text.find(';', i + 1);
            if (semi != std::string_view::npos && semi - i <= 12) {
                if (std::string decoded = referenceText(text.substr(i + 1, semi - i - 1)); !decoded.empty()) {
                    out += decoded;
                    i = semi + 1;
                    continue;
                }
            }
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

std::string browserLink(std::string_view storedUrl) {
    std::string link = decodeEntities(storedUrl);
    std::string out;
    out.reserve(link.size());
    for (char c : link)
        if (c != '\t' && c != '\n' && c != '\r') out += c;
    const std::size_t first = out.find_first_not_of(" \f");
    if (first == std::string::npos) return {};
    return out.substr(first, out.find_last_not_of(" \f") - first + 1);
}

std::string jsonUnescaped(std::string_view s) {
    if (s.find('\\') == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = gbkCharLength(s, i);
        if (s[i] != '\\' || len != 1 || i + 1 >= s.size()) {
            out.append(s.substr(i, len));
            i += len;
            continue;
        }
        const char e = s[i + 1];
        const std::string_view simple = "\"\\/bfnrt";
        if (const auto at = simple.find(e); at != std::string_view::npos) {
            out += "\"\\/\b\f\n\r\t"[at];
            i += 2;
            continue;
        }
        auto unit = e == 'u' ? hex4(s, i + 2) : std::nullopt;
        if (!unit) {
            out += '\\';
            ++i;
            continue;
        }
        unsigned cp = *unit;
        std::size_t used = 6;
        if (cp >= 0xD800 && cp <= 0xDBFF && s.substr(i + 6, 2) == "\\u")
            if (auto low = hex4(s, i + 8); low && *low >= 0xDC00 && *low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                used = 12;
            }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // half a pair stands for nothing
        out += cp < 0x80 ? std::string(1, static_cast<char>(cp)) : utf8ToGbk(utf8Of(cp));
        i += used;
    }
    return out;
}

}  // namespace tovi
