#pragma once
// How one plan run ended, for the fronts (the command line's exit code, a plan's health).
#include <string>
#include <vector>

namespace tovi {

struct PlanRunOutcome {
    enum class Kind {
        Stored,           // the page was read; `stored` new articles (0 when none was new)
        PageUnchanged,    // the site said the page did not change since the last visit
        FetchFailed,      // nothing came (reason says why)
        MarkersNotFound,  // the page came but the region between the markers is empty
        ExpressionError,  // the expression does not compile or is too complex
        NoMatches,        // the expression matched nothing in the region
        NotRunnable,      // the plan cannot run as it stands (reason says why)
        StoreFailed,      // the articles could not be stored; nothing was marked as seen
        TooSlow,          // matching ran past its time budget
        Skipped,          // the site asked to wait (Retry-After)
        Stopped,          // a stop request ended the run
    };
    Kind kind = Kind::Stopped;
    int stored = 0;
    int skipped = 0;     // seen before: identity kept them out
    std::string reason;  // GBK
    int dropped = 0;     // kept out by the title rules
    // The stored articles that raise the alert: how many, and the newest titles (at most 5).
    int alerting = 0;
    std::vector<std::string> alertTitles;
    // The stored articles (title and link, as stored), newest first; at most kListedArticles.
    struct Article {
        std::string title, url;
    };
    static constexpr std::size_t kListedArticles = 1000;
    std::vector<Article> articles;
    std::string planName;
    // The plan's health after this run (written with the articles when the run stored some).
    bool healthWritten = false;
    int failures = 0;
    std::string lastSuccess;

    static PlanRunOutcome of(Kind kind, std::string reason = {}) {
        PlanRunOutcome o;
        o.kind = kind;
        o.reason = std::move(reason);
        return o;
    }

    bool failed() const {
        return kind != Kind::Stored && kind != Kind::PageUnchanged && kind != Kind::Skipped &&
               kind != Kind::Stopped;
    }
};

}  // namespace tovi
