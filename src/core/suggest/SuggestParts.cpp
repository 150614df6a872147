#include "core/suggest/SuggestParts.h"

#include <algorithm>
#include <cctype>

#include "core/text/TextOps.h"

namespace tovi::suggest {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string regexEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (std::string_view(R"(\^$.|?*+()[]{})").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// An attribute value containing `word` as one of its words.
std::string classLookahead(std::string_view word) {
    return R"((?=[^>]*\sclass=["']?(?:[^"'>]*\s)?)" + regexEscape(word) + R"((?=[\s"'>])))";
}

std::string selector(const PageElement& e, bool withId) {
    std::string s = e.tag;
    if (withId && !e.id.empty() && isAscii(e.id)) s += "#" + std::string(e.id);
    const std::string cls = firstClass(e.className);
    if (!cls.empty() && isAscii(cls)) s += "." + cls;
    return s;
}

std::string_view contentOf(std::string_view text, const PageElement& e) {
    return e.closeStart > e.openEnd ? text.substr(e.openEnd, e.closeStart - e.openEnd) : std::string_view();
}

bool isBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
    });
}

std::string_view trimBlank(std::string_view s) {
    while (!s.empty() && isBlank(s.substr(0, 1))) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.substr(s.size() - 1))) s.remove_suffix(1);
    return s;
}

bool isHeading(std::string_view tag) {
    return tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6';
}

bool usableLink(std::string_view href) {
    if (href.empty() || href[0] == '#') return false;
    const std::string lower = asciiLower(href.substr(0, 11));
    return !lower.starts_with("javascript:") && !lower.starts_with("mailto:");
}

std::size_t titleWeight(std::string_view title) {
    std::size_t weight = 0;
    for (char c : title) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || std::isalpha(u)) ++weight;
    }
    return std::min<std::size_t>(weight, 80);
}

}  // namespace tovi::suggest
