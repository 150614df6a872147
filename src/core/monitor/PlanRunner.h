#pragma once
// One plan run: fetch the list page, clean, cut, match, judge which matches are new, store
// them with the plan update in one transaction, and report every step in the status log.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stop_token>
#include <vector>

#include "core/Result.h"
#include "core/monitor/PageVisits.h"
#include "core/net/Renderer.h"
#include "core/net/TransferPool.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/PlanRunOutcome.h"
#include "core/plans/PlanTable.h"
#include "core/text/Timestamp.h"

namespace tovi {

class AlertNotifier;
class LoggedSql;
class StatusSink;

// Waits that end early when a stop is requested; true when the full time passed.
bool pauseFor(std::chrono::milliseconds duration, std::stop_token stop);

class Expression;

// Whether a plan can run as it stands, and why not (GBK, for the status line): an empty
// expression, a title group (or, comparing ids, an id group) the expression does not have, a
// URL that is not a web page, a line break in the URL, cookie or user agent.
Result<> checkPlanRunnable(const PlanRow& plan, const Expression& expression);
// Whether a plan may be saved as it stands: what checkPlanRunnable finds, and an expression
// that does not compile.
Result<> checkPlanSavable(const PlanRow& plan);

// What plan runs that stored nothing learnt (their health, what the visit said about the
// page): not worth a durable commit each, it is written for a whole pass at once.
struct DeferredWrites {
    std::vector<Statement> statements;
};

class PlanRunner {
public:
    static constexpr std::chrono::milliseconds kDefaultArticlePause{200};

    PlanRunner(LoggedSql& sql, PlanTable& table, AlertNotifier& alerts, const Clock& clock,
               FetchLimits limits = {});

    static constexpr std::chrono::milliseconds kDefaultMatchBudget{10000};
    // A run looks at this many matches at most (the newest ones); one page cannot hold up all.
    static constexpr std::size_t kMaxMatches = 10000;
    // The first echoes of a run are paced; the rest follow at once.
    static constexpr std::size_t kPacedEchoes = 10;

    // Pause between the echoes of stored articles (the status trace's pacing). Runs read it
    // while another thread may set it.
    void setArticlePause(std::chrono::milliseconds pause) { m_articlePause.store(pause); }
    // Time one plan's matching may take; a page that needs more ends its run with a status line.
    void setMatchBudget(std::chrono::milliseconds budget) { m_matchBudget.store(budget); }

    // Runs the plan whose row of the plan table has this id. Never throws, never shows a
    // dialog. A second run of a plan that is running waits for the first and then works on
    // the updated row; an article already in the database is never stored again (also when
    // another program stores into the same file at the same time).
    // With a pool and a ticket, the page comes from a fetch the pool started ahead. With
    // `deferred`, a run that stores no article leaves its bookkeeping there (writeDeferred).
    PlanRunOutcome runPlan(long long planId, std::stop_token stop = {}, TransferPool* pool = nullptr,
                           const TransferPool::Ticket& ticket = {}, DeferredWrites* deferred = nullptr);
    // Writes what runs deferred in one commit; a stop keeps it from waiting for another
    // program's lock (the bookkeeping is then lost, never an article).
    void writeDeferred(DeferredWrites& deferred, std::stop_token stop = {});

    // The request a run of the plan sends for its page, so that a pool can fetch it ahead of
    // the run (host: the URL's host name). nullopt when the run will not fetch: the plan cannot
    // run, or its site asked to wait.
    struct PreparedFetch {
        CurlGet request;
        std::string host;
    };
    std::optional<PreparedFetch> prepareFetch(int planId);

private:
    class RunningGuard;
    class Run;  // the stages of one run
    std::optional<PreparedFetch> requestFor(int planId, const PlanRow& plan);

    LoggedSql& m_sql;
    PlanTable& m_table;
    AlertNotifier& m_alerts;
    const Clock& m_clock;
    FetchLimits m_limits;
    PageVisits m_visits;
    std::atomic<std::chrono::milliseconds> m_articlePause{kDefaultArticlePause};
    std::atomic<std::chrono::milliseconds> m_matchBudget{kDefaultMatchBudget};

    std::mutex m_runningMutex;
    std::condition_variable_any m_runningChanged;
    std::set<int> m_running;
    // Pages built by their scripts: one browser for the runs, started when first needed.
    Renderer m_renderer;
};

}  // namespace tovi
