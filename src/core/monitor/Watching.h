#pragma once
// What is watched, kept across restarts: a plan's tick (column isdo, which the plan list calls
// "默认监控该方案" and the command line "ticked": one switch everywhere) and whether the window
// was monitoring when it closed. Both live in tovi.sdb; the Windows version reads isdo as it
// always did and never looks at app_state.
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/Result.h"

namespace tovi {

class Database;

// Ticks (plan id, ticked) written in one transaction.
Result<> setPlansTicked(Database& db, const std::vector<std::pair<int, bool>>& ticks);

// The cycle (seconds) of the monitoring the user left on; nullopt when it was off (or never
// said, or the file cannot say).
std::optional<std::int64_t> monitoringLeftOn(Database& db);
// On with its cycle in seconds, or off (nullopt).
Result<> rememberMonitoring(Database& db, std::optional<std::int64_t> cycleSeconds);

}  // namespace tovi
