#pragma once
// Each plan's health: how its last run ended and how many runs in a row failed, kept in
// tovi.sdb across restarts. A plan that fails three runs in a row is shown as broken; the
// status log says so once when it starts failing and once when it recovers.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/monitor/PlanRunOutcome.h"

namespace tovi {

class Database;
class StatusSink;

constexpr int kFailuresForWarning = 3;

struct PlanHealthRecord {
    std::string outcome;  // GBK: what the last run came to ("取到 2 篇新文章", "无法获取页面：…")
    int failures = 0;     // runs in a row that failed
    std::string lastRun;      // LongTimestamp of the last run
    std::string lastSuccess;  // LongTimestamp of the last run that did not fail; empty: never
    bool broken() const { return failures >= kFailuresForWarning; }
};

// What a run came to, in words for the tree's tooltip and the plan list.
std::string outcomeText(const PlanRunOutcome& outcome);

std::map<int, PlanHealthRecord> loadPlanHealth(Database& db);
std::optional<PlanHealthRecord> loadPlanHealth(Database& db, int planId);

// After a run: the record is updated (a stopped run, or a site's request to wait, changes
// nothing); when the plan just became broken or just recovered, a status line says so. The
// record as it now stands is returned.
std::optional<PlanHealthRecord> recordPlanHealth(Database& db, StatusSink& sink, int planId,
                                                 const PlanRunOutcome& outcome, const std::string& now,
                                                 const std::function<bool()>& cancel = {});

}  // namespace tovi
