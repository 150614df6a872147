#pragma once
// Storing a run's new articles: the judging and the inserts of one plan run happen inside one
// write transaction, so two programs storing into the same tovi.sdb never store an article twice.
#include <functional>
#include <string>
#include <vector>

#include "core/monitor/Judge.h"
#include "core/net/Fetch.h"
#include "core/plans/PlanRunOutcome.h"
#include "core/plans/TitleRules.h"
#include "core/store/Database.h"

namespace tovi {

struct StoreReport;

struct StoreRequest {
    int planId = 0;
    std::string planName;
    JudgeRules rules;  // the marker and lastid are read again inside the transaction
    std::string now;   // shortTimestamp for addtime and lasttime
    // What else the run writes (its health, what the visit learnt), given the articles' outcome:
    // in the same transaction, so a plan run costs one commit and is written whole or not at all.
    // It may read inside the transaction.
    std::function<std::vector<Statement>(Transaction&, const StoreReport&)> alongside;
};

struct StoreReport {
    Result<> transaction;  // how the one write transaction went
    Judgement judged;
    std::vector<Statement> statements;     // what ran, in order: the inserts, then the plan update
    std::vector<SqlResult> results;        // one per statement; the last one failed when not committed
    int stored = 0;                        // new articles (when not committed: none of them was written)
    int skipped = 0;                       // already seen before (same plan, title and link)
    int dropped = 0;                       // new, but kept out by the title rules (remembered as seen)
    int alerting = 0;                      // stored articles that raise the alert
    std::vector<std::string> alertTitles;  // the newest of those, newest first (at most 5)
    std::vector<PlanRunOutcome::Article> alertArticles;  // the same with links, newest first (at most 10)
    std::vector<PlanRunOutcome::Article> articles;       // what was stored, newest first (bounded)
    bool planUpdated = false;                            // the remembered article or lastid moved
    std::string marker;  // the plan's marker (column arttile) and lastid as they stand after the run
    std::int64_t lastId = 0;
};

// Judges the page's matches against the plan's state as the database holds it now, leaves out
// every article seen before, keeps out what the title rules drop (remembering it as seen),
// stores the rest oldest first (the newest article gets the highest row id) and remembers the newest
// article seen. Nothing is written unless all of it is.
StoreReport storeNewArticles(Database& db, const std::vector<Match>& page, StoreRequest request,
                             const CancelCheck& cancel);

}  // namespace tovi
