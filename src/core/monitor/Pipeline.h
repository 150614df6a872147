#pragma once
// The steps of one plan run as plain functions on GBK bytes: clean, cut, match, judge,
// compose. Each can be tested alone; PlanRunner strings them together.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/Fetch.h"

namespace tovi {

// The plan's judging mode (column type); any other value behaves as TimeDescending.
enum class JudgeMode { TimeDescending = 0, TimeAscending = 2, CompareArticleId = 8 };
JudgeMode judgeModeFromText(std::string_view typeText);

// Deletes CR LF pairs, then tabs, then halves runs of spaces (each a single pass over the whole
// text, done together in one pass here).
std::string cleanSource(std::string_view source);
// The same, in place: a page is never copied to be cleaned.
void cleanSourceInPlace(std::string& text);

// The region a time-mode plan's last article marker stood in for one of the plan's own
// markers: from the start marker to the end of the page (newest at the top), or from the start
// marker, or the beginning of the page when it is missing, to the end marker (newest at the
// bottom). A plan whose list lost one of its markers still finds its last article there.
std::string_view widenedRegion(std::string_view source, std::string_view before, std::string_view after,
                               JudgeMode mode);

// One match: group 0 is the whole match; a group that took no part is empty.
struct Match {
    std::vector<std::string> groups;
};

// A plan's expression compiled once: Perl syntax over characters (PCRE2 in UTF mode, JIT where
// it can): "." and counts take whole characters, classes hold Chinese characters, letters
// match in any case, "." also matches line breaks, "^" and "$" match at them; \w, \d, \s
// and \b keep their ASCII meaning. Texts come and go as GBK.
class Expression {
public:
    static Expression compile(std::string_view text);
    bool ok() const { return m_regex != nullptr; }
    const std::string& error() const { return m_error; }  // why it did not compile
    int groupCount() const { return m_groupCount; }       // capture groups; 0 when not compiled

private:
    friend struct ExpressionAccess;
    struct Compiled;  // the library's code, kept out of this header
    std::shared_ptr<const Compiled> m_regex;
    std::string m_error;
    int m_groupCount = 0;
};

// Bounds on one plan's matching: a page must not keep a run busy for ever.
struct MatchLimits {
    CancelCheck cancel;                   // checked between matches (one search is bounded by the engine)
    std::chrono::milliseconds budget{0};  // time allowed for all matches; 0: no limit
    std::size_t maxMatches = 0;           // matches kept; 0: all
    bool keepLast = false;                // keep the last maxMatches instead of the first
    // When set: keep the maxMatches that rank highest (e.g. the highest article ids), in page
    // order, whatever the page's order.
    std::function<std::int64_t(const Match&)> rank;
    // The groups a caller reads (true at their numbers); the others are left empty instead of
    // being converted back to GBK for nothing. Empty: every group.
    std::vector<bool> usedGroups;
};

// The groups a plan reads: its title, id and spare groups and those its link template names.
std::vector<bool> groupsUsed(std::int64_t titleGroup, std::int64_t idGroup, std::int64_t otherGroup,
                             std::string_view urlTemplate);

struct MatchResult {
    std::vector<Match> matches;
    int groupCount = 0;       // capture groups of the expression
    std::string error;        // why the expression gave no matches (compile error, too complex)
    bool cancelled = false;   // a stop request ended the matching
    bool overBudget = false;  // the time budget ran out; the matches are incomplete
    std::size_t found = 0;    // matches found, also those the cap left out
};

// Every match from the start, each search resuming where the previous ended (an empty match
// steps one character on).
MatchResult matchAll(const Expression& expression, std::string_view text, const MatchLimits& limits = {});
MatchResult matchAll(std::string_view expression, std::string_view text, const MatchLimits& limits = {});

// Group k of a match; empty for a group number that does not exist (above the count, negative).
const std::string& groupText(const Match& match, std::int64_t k);

// Each "[p]" of the template (p from its segments) replaced by group p's text, left to right in
// one pass: text that came from a group is never looked at again. A bracket pair with spaces
// inside, or an empty one, stays as written; a segment that is not a number means group 0.
std::string composeUrl(std::string_view urlTemplate, const Match& match);

// The match with each group read as the content of a JSON string (its escapes resolved), for a
// plan over a JSON response.
Match jsonStringsRead(Match match);

// An article's address: the template's result, or, for a plan that composes links as a browser
// does (linkBase not empty: the page's base address), that result with its character
// references decoded and resolved against linkBase.
std::string articleUrl(std::string_view urlTemplate, const Match& match, std::string_view linkBase);

}  // namespace tovi
