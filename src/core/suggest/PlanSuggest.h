#pragma once
// A plan from a page: find the repeated structure that holds the articles (rows of a table,
// items of a list, repeated blocks, the items of a feed) and propose the markers, expression,
// groups, URL template, encoding and judging mode that collect them. Every proposal has been
// run through the plan test on the same page and yields its items.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/monitor/PlanTestRun.h"
#include "core/net/Fetch.h"
#include "core/plans/PlanEditing.h"

namespace tovi {

struct PlanSuggestion {
    PlanFields fields;                      // a complete plan (category 1), GBK
    std::string structure;                  // where the list is, e.g. "table#threads > tr.normal" (ASCII)
    std::size_t count = 0;                  // articles the plan test found
    std::vector<std::string> sampleTitles;  // the first three, GBK
    std::vector<std::string> titles;        // all of them, in page order, GBK
    std::vector<std::string> links;         // their links as the template completes them
    PlanTestResult tested;                  // the plan test on the page that proved it
    std::string doubt;                      // GBK: why the list looks like a menu, a footer or ads
};

struct SuggestResult {
    std::vector<PlanSuggestion> candidates;  // best first
    std::string encodingReason;              // how the encoding was found (ASCII)
    std::string problem;                     // GBK; why there are no candidates
    std::string fetchError;
    // GBK: said of the page as a whole ("页面由脚本生成，已用浏览器渲染" when the proposals come from
    // the page as a browser built it; their plans then load it in a browser too).
    std::string note;
};

// The URL template that turns links as a page writes them (absolute, from the site's root,
// relative) into addresses a browser opens, with group's text in its slot: the form most of
// the links take.
std::string urlTemplateFor(const std::string& pageUrl, const std::vector<std::string>& links, int group);

// For a plan that composes links as a browser does: the template all the links take (so that
// readers that compose by the template alone get them too), or just the group's slot when they
// take different forms (relative ones beside a few absolute), each then resolved on its own.
std::string browserUrlTemplate(const std::string& pageUrl, const std::vector<std::string>& links, int group);

// How an expression takes an article's link: the value after href= written as literal text
// around one capture group ("t-[1].html", or "[2]" when the group takes the whole value).
// nullopt when no href= value of the expression can be written so.
struct LinkInExpression {
    int group = 0;
    std::string pattern;
};
std::optional<LinkInExpression> linkInExpression(std::string_view expression);

// Told what the suggestion is doing, in words for the user (GBK): fetching, reading, proving.
using SuggestProgress = std::function<void(const std::string& stage)>;

// Over a fetched page (body and Content-Type as they came). The URL resolves relative links.
SuggestResult suggestPlans(const std::string& url, const FetchResult& page, const CancelCheck& cancel = {},
                           const SuggestProgress& progress = {});

// Fetches the page as the plan test does (the cookie and agent go with the request). A page
// whose list its scripts build (no list in what came, scripts in it) is loaded in the browser,
// when one is installed, and the proposals are made over what the browser shows.
SuggestResult suggestPlansFromUrl(const std::string& url, const std::string& cookie,
                                  const std::string& userAgent, const CancelCheck& cancel = {},
                                  const SuggestProgress& progress = {});

}  // namespace tovi
