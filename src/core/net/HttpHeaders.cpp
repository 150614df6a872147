#include "core/net/HttpHeaders.h"

#include <algorithm>
#include <vector>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

std::string removeSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = gbkCharLength(text, i);
        bool space = (len == 1 && text[i] == ' ') || (len == 2 && text.substr(i, 2) == "\xA1\xA1");
        if (!space) out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

}  // namespace

std::string httpHeaderName(std::string_view line) {
    std::size_t colon = gbkFind(line, ":");
    return colon == kNotFound ? std::string() : trimSpaces(line.substr(0, colon));
}

std::string httpHeaderValue(std::string_view line) {
    std::size_t colon = gbkFind(line, ":");
    return colon == kNotFound ? std::string() : trimSpaces(line.substr(colon + 1));
}

std::string normaliseSetCookieNames(std::string_view headerText) {
    return gbkReplaceAll(headerText, "Set-Cookie", "Set-Cookie", CaseMode::AsciiInsensitive);
}

std::string collectSetCookies(std::string_view headerText) {
    std::string result;
    for (const std::string& line : gbkSplit(headerText, "\r\n")) {
        if (!gbkContains(line, "Set-Cookie")) continue;
        std::string pair;
        if (!gbkContains(line, ";"))
            pair = trimSpaces(gbkReplaceAll(line, "Set-Cookie:", "", CaseMode::AsciiInsensitive));
        else
            pair = trimSpaces(textBetween(line, "Set-Cookie:", ";"));
        result += pair + "; ";
    }
    if (result.size() >= 2) result.resize(result.size() - 2);
    return result;
}

std::string cookieName(std::string_view pair) {
    std::size_t eq = gbkFind(pair, "=");
    return trimSpaces(eq == kNotFound ? pair : pair.substr(0, eq));
}

std::string removeDuplicateEntries(std::string_view text, std::string_view separator) {
    if (text.empty()) return {};
    std::vector<std::string> kept;
    for (std::string& piece : gbkSplit(text, separator))
        if (std::find(kept.begin(), kept.end(), piece) == kept.end()) kept.push_back(std::move(piece));
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i) out += separator;
        out += kept[i];
    }
    return out;
}

std::string mergeCookies(std::string& cookie, std::string& received) {
    cookie = removeSpaces(cookie);
    received = removeSpaces(received);
    std::vector<std::string> merged = gbkSplit(received, ";");
    for (const std::string& old : gbkSplit(cookie, ";")) {
        std::string name = cookieName(old);
        bool known = std::any_of(merged.begin(), merged.end(),
                                 [&](const std::string& p) { return cookieName(p) == name; });
        if (!known) merged.push_back(old);
    }
    // A site that sets a new cookie on every visit would grow the header until it refuses
    // every request: the newest (those just received come first) are kept within the bounds.
    constexpr std::size_t kMaxCookies = 50, kMaxCookieBytes = 4096;
    std::string text;
    std::size_t count = 0;
    for (const std::string& piece : merged) {
        bool deleted = piece.size() >= 8 && piece.compare(piece.size() - 8, 8, "=deleted") == 0;
        if (deleted || piece.empty()) continue;
        if (count == kMaxCookies) break;
        if (text.size() + piece.size() + 2 > kMaxCookieBytes) continue;
        text += piece + "; ";
        ++count;
    }
    if (text.size() >= 2) text.resize(text.size() - 2);
    cookie = removeDuplicateEntries(text, "; ");
    return cookie;
}

}  // namespace tovi
