#pragma once
// Each plan's health: how its last run ended and how many runs in a row failed, kept in
// tovi.sdb across restarts. A plan that fails three runs in a row is shown as broken; the
// status log says so once when it starts failing and once when it recovers.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/plans/PlanRunOutcome.h"
#include "core/store/Database.h"

namespace tovi {

class StatusSink;

constexpr int kFailuresForWarning = 3;

struct PlanHealthRecord {
    std::string outcome;  // GBK: what the last run came to ("取到 2 篇新文章", "无法获取页面：…")
    int failures = 0;     // runs in a row that failed
    std::string lastRun;      // longTimestamp of the last run
    std::string lastSuccess;  // longTimestamp of the last run that did not fail; empty: never
    bool broken() const { return failures >= kFailuresForWarning; }
};

// What a run came to, in words for the tree's tooltip and the plan list.
std::string outcomeText(const PlanRunOutcome& outcome);

std::map<int, PlanHealthRecord> loadPlanHealth(Database& db);
std::optional<PlanHealthRecord> loadPlanHealth(Database& db, int planId);
// The same read as a statement and its reading, for a caller inside a transaction.
Statement planHealthQuery(int planId);
std::optional<PlanHealthRecord> planHealthFrom(const SqlResult& rows);

// A run's effect on the record, before it is written: the statement that writes it, and the
// record before and after (to say so when the plan just became broken or just recovered).
struct PlanHealthUpdate {
    PlanHealthRecord before, after;
    Statement write;
};
PlanHealthUpdate planHealthUpdate(const PlanHealthRecord& before, int planId, const PlanRunOutcome& outcome,
                                  const std::string& now);
// The status line for a plan that just became broken or just recovered, if it did.
void reportHealthChange(StatusSink& sink, int planId, const PlanHealthUpdate& update);

// The record a run leaves, read from the database and not yet written; nullopt for a run that
// changes nothing (a stopped run, or a site's request to wait).
std::optional<PlanHealthUpdate> nextPlanHealth(Database& db, int planId, const PlanRunOutcome& outcome,
                                               const std::string& now);

// After a run: the record is updated (a stopped run, or a site's request to wait, changes
// nothing); when the plan just became broken or just recovered, a status line says so. The
// record as it now stands is returned. What alongside gives is written before the record, in its
// transaction.
std::optional<PlanHealthRecord> recordPlanHealth(
    Database& db, StatusSink& sink, int planId, const PlanRunOutcome& outcome, const std::string& now,
    const std::function<bool()>& cancel = {},
    const std::function<std::vector<Statement>(const PlanHealthUpdate&)>& alongside = {});

}  // namespace tovi
