#include "core/text/TextToInt.h"

#include <limits>

namespace tovi {
namespace {

// Next character of a GBK text as ASCII where it has a full-width form (Ａ-～ at A3A1-A3FE,
// the full-width space at A1A1); other double-byte characters come back as 0x80.
char nextFolded(std::string_view text, std::size_t& pos) {
    unsigned char c = text[pos];
    if (c >= 0x81 && c <= 0xFE && pos + 1 < text.size()) {
        unsigned char t = text[pos + 1];
        pos += 2;
        if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) return static_cast<char>(t - 0x80);
        if (c == 0xA1 && t == 0xA1) return ' ';
        return static_cast<char>(0x80);
    }
    ++pos;
    return static_cast<char>(c);
}

}  // namespace

namespace {

// The value and whether it had to be cut to the 64-bit limits.
std::int64_t parse(std::string_view text, bool* saturated);

}  // namespace

std::int64_t textToInt(std::string_view text) { return parse(text, nullptr); }

std::optional<std::int64_t> textToIntChecked(std::string_view text) {
    bool saturated = false;
    std::int64_t value = parse(text, &saturated);
    if (saturated) return std::nullopt;
    return value;
}

namespace {

std::int64_t parse(std::string_view text, bool* saturated) {
    std::size_t pos = 0;
    char c = 0;
    bool have = false;
    while (pos < text.size()) {
        c = nextFolded(text, pos);
        have = true;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') break;
        have = false;
    }
    if (!have) return 0;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        if (pos >= text.size()) return 0;
        c = nextFolded(text, pos);
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (;;) {
        if (c < '0' || c > '9') break;
        int digit = c - '0';
        const bool over = negative ? value < (kMin + digit) / 10 : value > (kMax - digit) / 10;
        if (over && saturated) *saturated = true;
        if (!negative)
            value = over ? kMax : value * 10 + digit;
        else
            value = over ? kMin : value * 10 - digit;
        if (pos >= text.size()) break;
        c = nextFolded(text, pos);
    }
    return value;
}

}  // namespace

}  // namespace tovi
