#include "core/monitor/Watching.h"

#include "core/monitor/MonitorEngine.h"
#include "core/store/AppState.h"
#include "core/store/Database.h"
#include "core/store/Statement.h"

namespace tovi {

Result<> setPlansTicked(Database& db, const std::vector<std::pair<int, bool>>& ticks) {
    std::vector<Statement> statements;
    for (const auto& [id, ticked] : ticks)
        statements.emplace_back("update rule set isdo=? where id=?",
                                std::vector<SqlValue>{std::int64_t{ticked ? 1 : 0}, std::int64_t{id}});
    if (statements.empty()) return {};
    return db.writeTransaction([&](Transaction& t) {
        for (const Statement& s : statements)
            if (!t.run(s).ok) return false;
        return true;
    });
}

std::optional<std::int64_t> monitoringLeftOn(Database& db) {
    // What another program (or a damaged file) left there goes through the frequency rule.
    const std::optional<std::string> cycle = appState(db, "monitoring");
    return cycle ? checkFrequency(*cycle) : std::nullopt;
}

Result<> rememberMonitoring(Database& db, std::optional<std::int64_t> cycleSeconds) {
    return setAppState(db, "monitoring", cycleSeconds ? std::to_string(*cycleSeconds) : std::string("0"));
}

}  // namespace tovi
