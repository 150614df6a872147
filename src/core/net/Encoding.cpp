#include "core/net/Encoding.h"

#include <cctype>
#include <optional>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

// The charset name after "charset=" in text, lower case, or empty.
std::string charsetIn(std::string_view text) {
    const std::string lower = asciiLower(text);
    std::size_t at = lower.find("charset");
    while (at != std::string::npos) {
        std::size_t i = at + 7;
        while (i < lower.size() &&
               (lower[i] == ' ' || lower[i] == '=' || lower[i] == '"' || lower[i] == '\''))
            ++i;
        std::size_t end = i;
        while (end < lower.size() && (std::isalnum(static_cast<unsigned char>(lower[end])) ||
                                      lower[end] == '-' || lower[end] == '_'))
            ++end;
        if (end > i) return lower.substr(i, end - i);
        at = lower.find("charset", at + 7);
    }
    return {};
}

}  // namespace

std::optional<bool> gbkByName(std::string_view name) {
    if (name == "gbk" || name == "gb2312" || name == "gb18030" || name == "cp936" || name == "x-gbk" ||
        name == "euc-cn" || name == "windows-936")
        return true;
    if (name == "utf-8" || name == "utf8") return false;
    return std::nullopt;
}

bool isValidGbk(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = gbkCharLength(bytes, i);
        if (len == 1) return false;
        i += len;
    }
    return true;
}

namespace {

// What the page says of itself near its start (<meta charset>, <meta http-equiv>, <?xml ...?>).
std::optional<DetectedEncoding> pageDeclaration(std::string_view body) {
    const std::string lower = asciiLower(body.substr(0, 4096));
    for (const char* where : {"<meta", "<?xml"}) {
        for (std::size_t at = lower.find(where); at != std::string::npos; at = lower.find(where, at + 1)) {
            const std::size_t end = lower.find('>', at);
            const std::string tag = lower.substr(at, end == std::string::npos ? std::string::npos : end - at);
            std::string name = charsetIn(tag);
            if (name.empty() && std::string(where) == "<?xml") {
                std::size_t enc = tag.find("encoding=");
                if (enc != std::string::npos) name = charsetIn("charset=" + tag.substr(enc + 9));
            }
            if (auto gbk = gbkByName(name))
                return DetectedEncoding{*gbk, std::string(where) + " charset=" + name};
        }
    }
    return std::nullopt;
}

bool reads(std::string_view body, bool gbk) { return gbk ? isValidGbk(body) : isValidUtf8(body); }

}  // namespace

DetectedEncoding detectEncoding(std::string_view body, std::string_view contentType) {
    // The reasons name only a charset (letters, digits, '-' and '_'): nothing else of the page.
    const auto page = pageDeclaration(body);
    if (const std::string name = charsetIn(contentType); gbkByName(name)) {
        const bool gbk = *gbkByName(name);
        // A server may say one thing while the bytes and the page's own declaration say
        // another: the declaration that reads the bytes wins.
        // Bytes that read as UTF-8 are hardly ever meant as anything else (GBK reads many UTF-8
        // texts without a fault), so a page that says UTF-8 and reads as it is UTF-8.
        const bool utf8Page = page && !page->gbk && gbk && isValidUtf8(body);
        if (utf8Page || (!reads(body, gbk) && page && page->gbk != gbk && reads(body, page->gbk)))
            return {page->gbk, page->reason + " (Content-Type charset=" + name + " does not read the page)"};
        return {gbk, "Content-Type charset=" + name};
    }
    if (body.substr(0, 3) == "\xEF\xBB\xBF") return {false, "byte-order mark"};
    if (page) return *page;
    if (isValidUtf8(body)) return {false, "reads as UTF-8"};
    if (isValidGbk(body)) return {true, "reads as GBK"};
    return {false, "neither reads cleanly; UTF-8 assumed"};
}

}  // namespace tovi
