#include "core/text/TextOps.h"

#include <cstring>

#include "core/text/Gbk.h"

namespace tovi {
namespace {

constexpr char kFullWidthSpace[] = "\xA1\xA1";

unsigned char foldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Compares needle with text at pos, character by character: ASCII letters may fold,
// double-byte characters must be identical.
bool matchesAt(std::string_view text, std::size_t pos, std::string_view needle, CaseMode mode) {
    if (text.size() - pos < needle.size()) return false;
    if (mode == CaseMode::Sensitive) return text.compare(pos, needle.size(), needle) == 0;
    for (std::size_t i = 0; i < needle.size();) {
        std::size_t len = gbkCharLength(needle, i);
        if (len > 1) {
            if (text.compare(pos + i, len, needle.substr(i, len)) != 0) return false;
        } else {
            unsigned char a = text[pos + i], b = needle[i];
            if (a >= 0x80 || b >= 0x80 ? a != b : foldAscii(a) != foldAscii(b)) return false;
        }
        i += len;
    }
    return true;
}

bool isSpaceAt(std::string_view text, std::size_t pos, std::size_t len) {
    return (len == 1 && text[pos] == ' ') || (len == 2 && text.substr(pos, 2) == kFullWidthSpace);
}

}  // namespace

std::size_t gbkFind(std::string_view text, std::string_view needle, std::size_t from, CaseMode mode) {
    if (from > text.size()) return kNotFound;
    if (needle.empty()) return from;
    const char first = needle[0];
    if (mode == CaseMode::Sensitive && static_cast<unsigned char>(first) < 0x40 &&
        !isGb18030Digit(static_cast<unsigned char>(first))) {
        // A byte below 0x40 other than a digit is never part of a multi-byte character, so
        // every occurrence of such a needle starts a character: a plain byte search is exact
        // (and fast, for the markers that start with "<").
        const void* hit = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : kNotFound;
    }
    const bool foldFirst = mode == CaseMode::AsciiInsensitive && static_cast<unsigned char>(first) < 0x80;
    for (std::size_t i = from; i + needle.size() <= text.size();) {
        unsigned char c = text[i];
        // Fast path over the common case: the first byte does not even match.
        if ((foldFirst ? foldAscii(c) == foldAscii(first) : text[i] == first) &&
            matchesAt(text, i, needle, mode))
            return i;
        i += gbkCharLength(text, i);
    }
    return kNotFound;
}

bool gbkContains(std::string_view text, std::string_view needle, CaseMode mode) {
    return gbkFind(text, needle, 0, mode) != kNotFound;
}

std::string gbkReplaceAll(std::string_view text, std::string_view from, std::string_view to, CaseMode mode) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = gbkFind(text, from, pos, mode);
        if (hit == kNotFound) break;
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text, pos);
    return out;
}

std::vector<std::string> gbkSplit(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) return {std::string(text)};
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t hit = gbkFind(text, separator, pos);
        if (hit == kNotFound) {
            pieces.emplace_back(text.substr(pos));
            break;
        }
        pieces.emplace_back(text.substr(pos, hit - pos));
        pos = hit + separator.size();
    }
    return pieces;
}

std::string trimSpaces(std::string_view text) {
    std::size_t begin = text.size(), end = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = gbkCharLength(text, i);
        if (!isSpaceAt(text, i, len)) {
            if (begin == text.size()) begin = i;
            end = i + len;
        }
        i += len;
    }
    return begin >= end ? std::string() : std::string(text.substr(begin, end - begin));
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size();) {
        std::size_t len = gbkCharLength(out, i);
        if (len == 1) out[i] = static_cast<char>(foldAscii(out[i]));
        i += len;
    }
    return out;
}

std::string textBetween(std::string_view text, std::string_view left, std::string_view right) {
    return std::string(textBetweenView(text, left, right));
}

namespace {

const std::string& quoteToken() {
    static const std::string token = gbk("#引号");
    return token;
}

}  // namespace

std::string markerText(std::string_view storedMarker) {
    return gbkReplaceAll(storedMarker, quoteToken(), "\"");
}

std::string storedMarker(std::string_view text) { return gbkReplaceAll(text, "\"", quoteToken()); }

std::string_view textBetweenView(std::string_view text, std::string_view left, std::string_view right) {
    if (text.empty() || right.empty()) return {};
    const std::string l = markerText(left);
    const std::string r = markerText(right);
    std::size_t start = 0;
    if (!l.empty()) {
        std::size_t p = gbkFind(text, l);
        if (p == kNotFound) return {};
        start = p + l.size();
    }
    std::size_t end = gbkFind(text, r, start);
    if (end == kNotFound) return {};
    return text.substr(start, end - start);
}

std::vector<std::string> segmentsBetween(std::string_view text, std::string_view open,
                                         std::string_view close) {
    std::vector<std::string> result;
    if (open.empty() || close.empty()) return result;
    std::size_t p = 0;
    for (;;) {
        std::size_t a = gbkFind(text, open, p, CaseMode::AsciiInsensitive);
        if (a == kNotFound) return result;
        std::size_t inner = a + open.size();
        std::size_t b = gbkFind(text, close, inner, CaseMode::AsciiInsensitive);
        if (b == kNotFound) return result;
        std::string s = trimSpaces(text.substr(inner, b - inner));
        if (!s.empty()) {
            result.push_back(std::move(s));
            p = b;
        } else {
            p = inner;
        }
    }
}

}  // namespace tovi
