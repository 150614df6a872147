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
// Memory the interpreter may take for backtracking (KiB): a pattern of a thousand groups over a
// long page ends with an error instead of taking gigabytes.
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
// The JIT's own stack: ordinary patterns over long items ("<li>((?:.|\n)*?)</li>" over items
// of many thousand characters) need more than the 32 KB PCRE2 starts with.
constexpr std::size_t kJitStackStart = 32 * 1024, kJitStackMax = 8 * 1024 * 1024;
// One search looks for a match starting within this many bytes of where it starts: a pattern
// that does much work at every position (no backtracking for the match limit to count) is
// searched in short steps, and a stop or the budget is seen between them.
constexpr PCRE2_SIZE kStartPositionsPerSearch = 1024;

// Whether the start-of-pattern settings turn off the JIT, whose stack is bounded, and with it
// the limits our searches rely on: a user may not give that one.
bool turnsOffJit(std::string_view pattern) {
    for (std::size_t at = 0; pattern.substr(at, 2) == "(*";) {
        const std::size_t close = pattern.find(')', at);
        if (close == std::string_view::npos) break;
        if (pattern.substr(at + 2, close - at - 2) == "NO_JIT") return true;
        at = close + 1;
    }
    return false;
}

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "error " + std::to_string(code);
    return reinterpret_cast<const char*>(buffer);
}

}  // namespace

struct Expression::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    bool jit = false;
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
    if (turnsOffJit(pattern)) {
        e.m_error = gbk("不能用 (*NO_JIT)：它会关掉正则匹配的限制");
        return e;
    }
    int code = 0;
    PCRE2_SIZE at = 0;
    auto compiled = std::make_shared<Compiled>();
    compiled->code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_UTF | PCRE2_CASELESS | PCRE2_DOTALL | PCRE2_MULTILINE | PCRE2_USE_OFFSET_LIMIT,
                      &code, &at, nullptr);
    if (!compiled->code) {
        // Where it went wrong, in characters as the user counts them (not UTF-8 bytes).
        const std::size_t chars = static_cast<std::size_t>(std::count_if(
            pattern.begin(), pattern.begin() + static_cast<std::ptrdiff_t>(std::min(at, pattern.size())),
            [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
        e.m_error = errorText(code) + " (at " + std::to_string(chars) + ")";
        return e;
    }
    // The interpreter where JIT is missing.
    compiled->jit = pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE) == 0;
    compiled->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled->context, kMatchLimit);
    pcre2_set_depth_limit(compiled->context, kDepthLimit);
    pcre2_set_heap_limit(compiled->context, kHeapLimitKiB);
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
    // This search's own settings and JIT stack: a stack serves one thread at a time.
    pcre2_match_context* context = pcre2_match_context_copy(rx.context);
    pcre2_jit_stack* stack = rx.jit ? pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr) : nullptr;
    if (stack) pcre2_jit_stack_assign(context, nullptr, stack);
    std::uint32_t engine = 0;  // PCRE2_NO_JIT once the JIT ran out of stack: the interpreter's limits hold
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
        const auto& used = limits.usedGroups;
        for (int g = 0; g <= result.groupCount; ++g) {
            const PCRE2_SIZE begin = ov[2 * g], end = ov[2 * g + 1];
            const bool wanted = used.empty() || (static_cast<std::size_t>(g) < used.size() && used[g]);
            m.groups.push_back(!wanted || begin == PCRE2_UNSET || end < begin
                                   ? std::string()
                                   : utf8ToGbk(std::string_view(text).substr(begin, end - begin)));
        }
        return m;
    };
    PCRE2_SIZE offset = 0;
    std::uint32_t options = PCRE2_NO_UTF_CHECK;  // the text was made valid UTF-8 above
    const auto toCharStart = [&](PCRE2_SIZE at) {
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
        return at;
    };
    const auto mustEnd = [&] {
        if (limits.cancel && limits.cancel()) return result.cancelled = true;
        if (limits.budget.count() > 0 && std::chrono::steady_clock::now() > deadline)
            return result.overBudget = true;
        return false;
    };
    while (offset <= text.size()) {
        const PCRE2_SIZE lastStart = std::min<PCRE2_SIZE>(text.size(), offset + kStartPositionsPerSearch);
        pcre2_set_offset_limit(context, lastStart);
        int rc = pcre2_match(rx.code, subject, text.size(), offset, options | engine, data, context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            engine = PCRE2_NO_JIT;
            rc = pcre2_match(rx.code, subject, text.size(), offset, options | engine, data, context);
        }
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (options & PCRE2_NOTEMPTY_ATSTART) {
                // Nothing but the empty match here: step one character on.
                options = PCRE2_NO_UTF_CHECK;
                offset = toCharStart(offset + 1);
                continue;
            }
            if (lastStart >= text.size()) break;
            // No match starts in this stretch: the next one, after a look at the stop and the clock.
            offset = toCharStart(lastStart);
            if (mustEnd()) break;
            continue;
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
        if (mustEnd()) break;
    }
    pcre2_match_data_free(data);
    pcre2_jit_stack_free(stack);
    pcre2_match_context_free(context);
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
