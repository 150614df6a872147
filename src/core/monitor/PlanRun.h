#pragma once
// One plan run, stage by stage: start, fetch, decode and clean, match, store, echo. A stage
// either hands its result to the next or ends the run with the outcome the trace, the health
// and the fronts all take from here.
#include <optional>
#include <string>

#include "core/monitor/ArticleStore.h"
#include "core/monitor/Judge.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanRunner.h"

namespace tovi {

class PlanRunner::Run {
public:
    Run(PlanRunner& runner, int planId, std::stop_token stop, DeferredWrites* deferred);
    PlanRunOutcome operator()(TransferPool* pool, const TransferPool::Ticket& ticket);

    // The plan's health when the run wrote it with its articles.
    std::optional<PlanHealthUpdate> writtenHealth;

private:
    using Kind = PlanRunOutcome::Kind;
    using Ending = std::optional<PlanRunOutcome>;  // set: the run ends here, so

    Ending start();
    Ending fetch(TransferPool* pool, const TransferPool::Ticket& ticket);
    void decodeAndClean();
    Ending match();
    Ending matchRegion(std::string_view region, MatchResult& into);
    Ending store();
    PlanRunOutcome echo();

    PlanRunOutcome finish(Kind kind, std::string reason = {});
    PlanRunOutcome overBudget();
    std::vector<Statement> alongside(Transaction& t, const StoreReport& stored,
                                     const PageVisits::VisitStatement& visit);

    PlanRunner& m_e;
    StatusSink& m_sink;
    const int m_planId;
    const std::string m_idText;
    const std::stop_token m_stop;
    const CancelCheck m_cancel;
    DeferredWrites* const m_deferred;

    PlanRow m_plan;  // a copy: a tree rebuild may refill the table while this run works
    JudgeMode m_mode = JudgeMode::TimeDescending;
    std::optional<Expression> m_expression;
    std::string m_cookie;
    FetchResult m_fetched;
    bool m_nothingCame = false, m_httpError = false;
    bool m_rendered = false;  // the page came from the browser (its markup is UTF-8)
    std::string m_failure;    // why a page that gave no list failed: the site's own answer first
    std::string m_source;
    JudgeRules m_rules;
    MatchResult m_page;
    StoreReport m_report;
};

}  // namespace tovi
