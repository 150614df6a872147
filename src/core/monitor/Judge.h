#pragma once
// Which matches of a page are articles to store. An article of a plan is its title and its
// composed URL; the last article seen (the marker) is found among the matches by its whole
// title, never as a piece of the page text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/monitor/Pipeline.h"

namespace tovi {

struct JudgeRules {
    JudgeMode mode = JudgeMode::TimeDescending;
    std::string marker;       // arttile: the newest title seen by the last run (time modes)
    std::int64_t lastId = 0;  // lastid: the highest article id seen (compare-id mode)
    std::int64_t titleGroup = 0, idGroup = 0, otherGroup = 0;
    std::string urlTemplate;
    std::string pageBase;   // the address the page's links resolve against
    std::string linkBase;   // links composed as a browser follows them, from this address (or not: empty)
    bool jsonText = false;  // the groups are JSON strings: read with their escapes resolved
};

// A match that may be a new article, with its texts as they would be stored.
struct Candidate {
    std::size_t pageIndex = 0;  // position of the match on the page
    std::string title, url, other;
    std::int64_t articleId = 0;  // compare-id mode only
};

struct Judgement {
    std::vector<Candidate> candidates;  // in page order
    // Time-descending, marker found: the matches below it, in page order. Rows that stay on top
    // (a board's pinned threads) can hold the marker while new articles arrive below them; the
    // store takes the first run of unseen ones among these.
    std::vector<Candidate> belowMarker;
    bool markerFound = false;             // time modes: a match has exactly the marker's title
    std::int64_t highestId = 0;           // the stored lastid raised by the candidates' ids
    std::vector<std::string> refusedIds;  // compare-id: id texts too large to be an id
};

// An article's title as stored and compared: the title group's text with inline tags left out
// ("含<b>粗体</b>标签" is "含粗体标签"); a '<' that opens no tag stays.
std::string articleTitle(std::string_view titleGroupText);

// Time-descending: the matches above the first match titled exactly like the marker;
// time-ascending: the matches after the last such match; no such match (or no marker): every
// match. Compare-id: the matches whose id is above lastId (an id too large for 63 bits is not
// an id). Matches are expected in page order.
Judgement judgeMatches(const std::vector<Match>& matches, const JudgeRules& rules);

// The index into candidates of the newest article among those chosen, for the marker the next
// run looks for: newest at the top (descending), at the bottom (ascending), or the highest id;
// candidates with an empty title never become the marker. -1 when none qualifies.
int newestWithTitle(const std::vector<Candidate>& candidates, const std::vector<bool>& chosen,
                    JudgeMode mode);

}  // namespace tovi
