#include "core/plans/PlanRows.h"

#include "core/text/TextToInt.h"

namespace tovi {

SqlResult readPlans(Database& db) { return db.run("select * from rule order by id"); }

std::optional<std::vector<std::string>> readPlan(Database& db, std::int64_t id) {
    SqlResult r = db.run(Statement("select * from rule where id=?", {id}));
    if (!r.ok || r.rows.empty()) return std::nullopt;
    return std::move(r.rows[0]);
}

std::vector<std::int64_t> planIds(Database& db) {
    std::vector<std::int64_t> ids;
    for (const auto& row : db.run("select id from rule order by id").rows)
        ids.push_back(textToInt(cellOf(row, 0)));
    return ids;
}

std::optional<bool> articleExists(Database& db, std::int64_t articleId) {
    const SqlResult found = db.run(Statement("select 1 from info where id=?", {articleId}));
    if (!found.ok) return std::nullopt;
    return !found.rows.empty();
}

}  // namespace tovi
