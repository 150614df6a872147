#include "core/monitor/Pipeline.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/net/Url.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

JudgeMode judgeModeFromText(std::string_view typeText) {
    switch (textToInt(typeText)) {
        case 2:
            return JudgeMode::TimeAscending;
        case 8:
            return JudgeMode::CompareArticleId;
        default:
            return JudgeMode::TimeDescending;
    }
}

namespace {

// Where cleaning has work: a CR, a tab, or a space followed by a space, a tab or a CR (once the
// tab or the CR LF between them is gone, two spaces may meet).
bool isSpecialAt(const char* d, std::size_t i, std::size_t n) {
    if (d[i] == '\r' || d[i] == '\t') return true;
    if (d[i] != ' ' || i + 1 >= n) return false;
    const char next = d[i + 1];
    return next == ' ' || next == '\t' || next == '\r';
}

// Moves len bytes down from r to w (w < r), front to back.
inline void moveDown(char* d, std::size_t w, std::size_t r, std::size_t len) {
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, d + r + i, 8);
        std::memcpy(d + w + i, &chunk, 8);
    }
    for (; i < len; ++i) d[w + i] = d[r + i];
}

// The common work done where no state is pending: runs with nothing to do move down as blocks,
// and the frequent cases close the run at once (a CR LF pair or a tab goes, a pair of spaces
// becomes one; the byte before them is never a space, else that space would have stopped the
// run). Stops at the first case that needs the byte-by-byte passes, and returns its position.
std::size_t cleanRun(char* d, std::size_t r, std::size_t n, std::size_t& w) {
    for (;;) {
        std::size_t k = r;
        // Once the output lags 16 bytes behind, a block can be stored whole as soon as it is read:
        // all it writes lies below bytes not yet read.
        const bool farBehind = r - w >= 16;
#if defined(__SSE2__)
        const __m128i cr = _mm_set1_epi8('\r'), tab = _mm_set1_epi8('\t'), sp = _mm_set1_epi8(' ');
        auto specials = [&](std::size_t at, __m128i& a) {
            a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at + 1));
            const __m128i blankNext = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(b, sp), _mm_cmpeq_epi8(b, tab)), _mm_cmpeq_epi8(b, cr));
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, cr), _mm_cmpeq_epi8(a, tab)),
                                             _mm_and_si128(_mm_cmpeq_epi8(a, sp), blankNext));
            return _mm_movemask_epi8(hit);
        };
        int mask = 0;
        while (k + 17 <= n) {
            __m128i a;
            mask = specials(k, a);
            if (farBehind) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + w + (k - r)), a);
            if (mask) break;
            k += 16;
        }
        if (mask) {
            k += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
            if (!farBehind && w != r) moveDown(d, w, r, k - r);
        } else
#endif
        {
            // The blocks before were stored already when far behind; otherwise they move now,
            // before the bytes after them.
            const std::size_t from = k;
            while (k < n && !isSpecialAt(d, k, n)) ++k;
            if (!farBehind && w != r) moveDown(d, w, r, from - r);
            if (w != r) moveDown(d, w + (from - r), from, k - from);
        }
        w += k - r;
        r = k;
        if (r >= n) return n;
        const char c = d[r];
        if (c == '\t') {
            r += 1;
        } else if (c == '\r' && r + 1 < n && d[r + 1] == '\n') {
            r += 2;
        } else if (c == ' ' && d[r + 1] == ' ') {
            d[w++] = ' ';
            r += 2;
        } else {
            return r;  // a lone CR, or a space before a CR or a tab: byte by byte
        }
    }
}

}  // namespace

void cleanSourceInPlace(std::string& text) {
    // The three passes (CR LF pairs out, tabs out, each pair of spaces halved) run as one: each
    // byte goes through all three in turn, with one byte of look-ahead for the first and the last.
    // CR, tab and space never stand inside a GBK character, so bytes are safe to look at alone.
    char* d = text.data();
    const std::size_t n = text.size();
    std::size_t r = 0, w = 0;
    bool pendingCr = false, pendingSpace = false;
    auto halve = [&](char c) {
        if (pendingSpace) {
            pendingSpace = false;
            d[w++] = ' ';
            if (c == ' ') return;
        }
        if (c == ' ')
            pendingSpace = true;
        else
            d[w++] = c;
    };
    auto dropTab = [&](char c) {
        if (c != '\t') halve(c);
    };
    while (r < n) {
        if (!pendingCr && !pendingSpace) {
            r = cleanRun(d, r, n, w);
            if (r >= n) break;
        }
        const char c = d[r++];
        if (pendingCr) {
            pendingCr = false;
            if (c == '\n') continue;
            dropTab('\r');
        }
        if (c == '\r')
            pendingCr = true;
        else
            dropTab(c);
    }
    if (pendingCr) dropTab('\r');
    if (pendingSpace) d[w++] = ' ';
    text.resize(w);
}

std::string cleanSource(std::string_view source) {
    std::string text(source);
    cleanSourceInPlace(text);
    return text;
}

std::string_view widenedRegion(std::string_view source, std::string_view before, std::string_view after,
                               JudgeMode mode) {
    const std::string start = markerText(before);
    std::size_t startPos = start.empty() ? 0 : gbkFind(source, start);
    if (mode == JudgeMode::TimeDescending) {
        if (startPos == kNotFound) return {};
        return source.substr(startPos + start.size());
    }
    std::size_t from = startPos == kNotFound ? 0 : startPos + start.size();
    const std::string end = markerText(after);
    if (end.empty()) return {};
    std::size_t endPos = gbkFind(source, end, from);
    return endPos == kNotFound ? std::string_view() : source.substr(from, endPos - from);
}

const std::string& groupText(const Match& match, std::int64_t k) {
    static const std::string empty;
    if (k < 0 || k >= static_cast<std::int64_t>(match.groups.size())) return empty;
    return match.groups[static_cast<std::size_t>(k)];
}

std::string composeUrl(std::string_view urlTemplate, const Match& match) {
    // The references are the template's segments; each "[p]" of the template itself is replaced
    // where it stands, so text that came from a group is never searched again.
    std::vector<std::string> references;
    for (const std::string& p : segmentsBetween(urlTemplate, "[", "]")) references.push_back("[" + p + "]");
    std::string url;
    url.reserve(urlTemplate.size() + 64);
    for (std::size_t pos = 0; pos < urlTemplate.size();) {
        bool replaced = false;
        if (urlTemplate[pos] == '[') {
            for (const std::string& ref : references)
                if (urlTemplate.compare(pos, ref.size(), ref) == 0) {
                    url += groupText(match, textToInt(std::string_view(ref).substr(1, ref.size() - 2)));
                    pos += ref.size();
                    replaced = true;
                    break;
                }
        }
        if (!replaced) {
            std::size_t len = gbkCharLength(urlTemplate, pos);
            url.append(urlTemplate, pos, len);
            pos += len;
        }
    }
    return url;
}

std::vector<bool> groupsUsed(std::int64_t titleGroup, std::int64_t idGroup, std::int64_t otherGroup,
                             std::string_view urlTemplate) {
    std::vector<bool> used;
    auto use = [&](std::int64_t k) {
        if (k < 0 || k > 1000) return;
        if (used.size() <= static_cast<std::size_t>(k)) used.resize(static_cast<std::size_t>(k) + 1, false);
        used[static_cast<std::size_t>(k)] = true;
    };
    use(titleGroup);
    use(idGroup);
    use(otherGroup);
    for (const std::string& p : segmentsBetween(urlTemplate, "[", "]"))
        use(textToInt(p));  // read as composeUrl reads it
    return used;
}

Match jsonStringsRead(Match match) {
    for (std::string& g : match.groups) g = jsonUnescaped(g);
    return match;
}

std::string articleUrl(std::string_view urlTemplate, const Match& match, std::string_view linkBase) {
    std::string url = composeUrl(urlTemplate, match);
    if (linkBase.empty()) return url;
    return resolveLink(linkBase, browserLink(url));
}

}  // namespace tovi
