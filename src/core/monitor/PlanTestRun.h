#pragma once
// Trying the plan being edited: fetch with the editor's settings, cut with its two markers (no
// last article marker), match, and list every match with all its groups. Nothing is stored.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/net/Fetch.h"

namespace tovi {

struct PlanTestInput {
    std::string expression;
    std::string url;
    bool pageIsGbk = false;
    std::string before;
    std::string after;
    std::string cookie;
    std::string userAgent;
};

struct PlanTestResult {
    enum class Outcome {
        EmptyExpression,
        BlockedSite,
        RefusedInput,
        EmptyCut,
        NoMatches,
        Matches,
        Cancelled
    };
    Outcome outcome = Outcome::EmptyCut;
    std::string message;     // the message box text (GBK); empty when there is none
    bool errorIcon = false;  // the box shows the error icon
    std::string cutText;     // the text for the result box (the cut, or the cut error text)
    bool cutShown = false;   // false: the result box keeps what it showed
    int groupCount = 0;
    std::vector<std::string> columns;            // "索引 0" … "索引 G"
    std::vector<std::vector<std::string>> rows;  // one per match, G + 1 cells
    bool unlocksEditor = false;                  // saving and the data items become usable
    std::string fetchError;                      // why the page did not come, for diagnosis
    long httpStatus = 0;                         // the site's answer (0: none came)
    // GBK: the page says (or reads as) another encoding than the plan's, whose titles then
    // come out garbled; empty when they agree.
    std::string encodingNote;
};

// The one site the program refuses to watch.
extern const char* const kBlockedSiteKeyword;

using DirectFetcher = std::function<FetchResult(const std::string& url, const std::string& cookie,
                                                const std::string& headers, const CancelCheck& cancel)>;

// The checks on what a fetch of a plan's page would send: the blocked site, a URL that is not
// a web page, a line break in the URL, cookie or user agent. nullopt when it may be fetched;
// otherwise the outcome (BlockedSite or RefusedInput) and the message (GBK).
struct FetchRefusal {
    PlanTestResult::Outcome outcome;
    std::string message;
};
std::optional<FetchRefusal> refuseFetch(const std::string& url, const std::string& cookie,
                                        const std::string& userAgent);

// The checks made before anything is fetched: an empty expression, then refuseFetch. nullopt
// when the test may run; otherwise its result (a message box; the result box keeps its text).
std::optional<PlanTestResult> refusePlanTest(const PlanTestInput& input);

// Matching that takes longer than this ends the test with a message.
constexpr std::chrono::milliseconds kPlanTestMatchBudget{10000};

PlanTestResult runPlanTest(const PlanTestInput& input, const DirectFetcher& fetch,
                           const CancelCheck& cancel = {});
// Over fetchForTest.
PlanTestResult runPlanTest(const PlanTestInput& input, const CancelCheck& cancel = {});
// Over the page as a browser builds it, for a plan that renders (its markup is UTF-8, whatever
// the plan's encoding says); without a browser the fetch error says what to install.
PlanTestResult runRenderedPlanTest(PlanTestInput input, const CancelCheck& cancel = {});

// A tested plan's articles as they would be stored: title, id and link of each row.
struct TestedArticle {
    std::string title, id, url;
};
std::vector<TestedArticle> testedArticles(const PlanTestResult& tested, std::int64_t titleGroup,
                                          std::int64_t idGroup, const std::string& urlTemplate,
                                          const std::string& linkBase = {}, bool jsonText = false);
// What looks wrong in them, each said once (GBK): empty titles, titles of digits only or holding
// markup (the expression took an icon link, a reply count or half a row), links holding '"', '<'
// or spaces (a group that ran past its attribute). Empty when they look like articles.
std::vector<std::string> articleWarnings(const std::vector<TestedArticle>& articles);

}  // namespace tovi
