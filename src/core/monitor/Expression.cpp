// A plan's expression over characters: GBK in and out, PCRE2 on UTF-8 in between.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <chrono>

#include "core/monitor/Pipeline.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

// Backtracking steps one search may take: enough for any list page, while a pattern built to
// backtrack for ever ends in well under a second, so a stop or the budget is never far off.
constexpr std::uint32_t kMatchLimit = 20'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "error " + std::to_string(code);
    return reinterpret_cast<const char*>(buffer);
}

}  // namespace

struct Expression::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    ~Compiled() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

struct ExpressionAccess {
    static const Expression::Compiled& compiled(const Expression& e) { return *e.m_regex; }
};

Expression Expression::compile(std::string_view text) {
    Expression e;
    const std::string pattern = gbkToUtf8(text);
    int code = 0;
    PCRE2_SIZE at = 0;
    auto compiled = std::make_shared<Compiled>();
    compiled->code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_UTF | PCRE2_CASELESS | PCRE2_DOTALL | PCRE2_MULTILINE, &code, &at, nullptr);
    if (!compiled->code) {
        e.m_error = errorText(code) + " (at " + std::to_string(at) + ")";
        return e;
    }
    pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);  // the interpreter where JIT is missing
    compiled->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled->context, kMatchLimit);
    pcre2_set_depth_limit(compiled->context, kDepthLimit);
    std::uint32_t groups = 0;
    pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &groups);
    e.m_groupCount = static_cast<int>(groups);
    e.m_regex = std::move(compiled);
    return e;
}

MatchResult matchAll(const Expression& expression, std::string_view gbkText, const MatchLimits& limits) {
    MatchResult result;
    if (!expression.ok()) {
        result.error = expression.error();
        return result;
    }
    result.groupCount = expression.groupCount();
    const auto& rx = ExpressionAccess::compiled(expression);
    const auto deadline = std::chrono::steady_clock::now() + limits.budget;
    // The region once as characters; each group goes back to GBK as it is taken.
    const std::string text = gbkToUtf8(gbkText);
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(rx.code, nullptr);
    // Keeping the last ones: a ring of maxMatches, put back in page order at the end.
    std::size_t ringStart = 0;
    // Keeping the highest ranked: a heap of (rank, position) over the kept ones, lowest on top.
    const bool byRank = limits.rank && limits.maxMatches > 0;
    std::vector<std::pair<std::int64_t, std::size_t>> ranked;  // rank and page position of each kept match
    std::vector<std::size_t> heap;                             // indices into matches/ranked
    const auto lower = [&](std::size_t a, std::size_t b) { return ranked[a] > ranked[b]; };
    // A match's groups, each back in GBK; a group that took no part is empty.
    const auto takeMatch = [&](const PCRE2_SIZE* ov) {
        Match m;
        m.groups.reserve(static_cast<std::size_t>(result.groupCount) + 1);
        for (int g = 0; g <= result.groupCount; ++g) {
            const PCRE2_SIZE begin = ov[2 * g], end = ov[2 * g + 1];
            m.groups.push_back(begin == PCRE2_UNSET || end < begin
                                   ? std::string()
                                   : utf8ToGbk(std::string_view(text).substr(begin, end - begin)));
        }
        return m;
    };
    PCRE2_SIZE offset = 0;
    std::uint32_t options = PCRE2_NO_UTF_CHECK;  // the text was made valid UTF-8 above
    while (offset <= text.size()) {
        const int rc = pcre2_match(rx.code, subject, text.size(), offset, options, data, rx.context);
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (options & PCRE2_NOTEMPTY_ATSTART) {
                // Nothing but the empty match here: step one character on.
                options = PCRE2_NO_UTF_CHECK;
                ++offset;
                while (offset < text.size() && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80)
                    ++offset;
                continue;
            }
            break;
        }
        if (rc < 0) {
            // Too complex (match or depth limit) or another engine error: no matches, with the reason.
            result.matches.clear();
            ringStart = 0;
            result.error = errorText(rc);
            break;
        }
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        ++result.found;
        const bool full = limits.maxMatches > 0 && result.matches.size() >= limits.maxMatches;
        if (byRank) {
            Match m = takeMatch(ov);
            const std::pair<std::int64_t, std::size_t> key{limits.rank(m), result.found};
            if (!full) {
                result.matches.push_back(std::move(m));
                ranked.push_back(key);
                heap.push_back(ranked.size() - 1);
                std::push_heap(heap.begin(), heap.end(), lower);
            } else if (key.first > ranked[heap.front()].first) {
                std::pop_heap(heap.begin(), heap.end(), lower);
                const std::size_t slot = heap.back();
                result.matches[slot] = std::move(m);
                ranked[slot] = key;
                std::push_heap(heap.begin(), heap.end(), lower);
            }
        } else if (!full || limits.keepLast) {
            Match m = takeMatch(ov);
            if (full) {
                result.matches[ringStart] = std::move(m);
                ringStart = (ringStart + 1) % limits.maxMatches;
            } else {
                result.matches.push_back(std::move(m));
            }
        }
        // The next search starts where this match ended; after an empty match it may not be
        // empty at the same place again.
        offset = ov[1];
        options = PCRE2_NO_UTF_CHECK | (ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART : 0u);
        if (limits.cancel && limits.cancel()) {
            result.cancelled = true;
            break;
        }
        if (limits.budget.count() > 0 && std::chrono::steady_clock::now() > deadline) {
            result.overBudget = true;
            break;
        }
    }
    pcre2_match_data_free(data);
    if (byRank) {
        // Back in page order.
        std::vector<std::size_t> order(result.matches.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return ranked[a].second < ranked[b].second; });
        std::vector<Match> sorted;
        sorted.reserve(order.size());
        for (std::size_t k : order) sorted.push_back(std::move(result.matches[k]));
        result.matches = std::move(sorted);
        return result;
    }
    std::rotate(result.matches.begin(), result.matches.begin() + static_cast<std::ptrdiff_t>(ringStart),
                result.matches.end());
    return result;
}

MatchResult matchAll(std::string_view expression, std::string_view text, const MatchLimits& limits) {
    return matchAll(Expression::compile(expression), text, limits);
}

}  // namespace tovi
