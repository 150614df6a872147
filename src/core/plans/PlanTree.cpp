#include "core/plans/PlanTree.h"

#include "core/net/Url.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanTable.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"

namespace tovi {

std::vector<int> PlanTree::queue(RunMode mode) const {
    std::vector<int> ids;
    for (const auto& c : categories)
        for (const auto& p : c.plans)
            // A starter plan still pointing at an example domain has no page to read: running
            // all plans leaves it out until the user gives it a real one (ticked, it runs).
            if (mode == RunMode::RunAll ? !p.placeholder : p.ticked == (mode == RunMode::RunTicked))
                ids.push_back(p.id);
    return ids;
}

const PlanNode* PlanTree::find(int id) const {
    for (const auto& c : categories)
        for (const auto& p : c.plans)
            if (p.id == id) return &p;
    return nullptr;
}

PlanTree refreshPlanTree(Database& db, const Settings& settings, PlanTable& table, StatusSink* sink) {
    PlanTree tree;
    const std::map<int, PlanHealthRecord> health = loadPlanHealth(db);
    for (const std::string& name : settings.categories()) tree.categories.push_back({name, {}});
    for (std::size_t c = 0; c < tree.categories.size(); ++c) {
        SqlResult rows =
            db.run(Statement("select * from rule where class=?", {static_cast<std::int64_t>(c + 1)}));
        for (const auto& cells : rows.rows) {
            if (cells.size() <= kRuleIsdo) continue;
            auto id = textToInt(cells[kRuleId]);
            if (!PlanTable::isValidId(id)) continue;  // reported once by the table fill below
            PlanNode node{static_cast<int>(id), cells[kRuleName] + " [" + cells[kRuleId] + "]",
                          textToInt(cells[kRuleIsdo]) == 1, std::nullopt, isExampleUrl(cells[kRuleUrl])};
            if (auto it = health.find(node.id); it != health.end()) node.health = it->second;
            tree.categories[c].plans.push_back(std::move(node));
        }
    }
    table.fill(db.run("select * from rule"), sink);
    table.setRendering(renderingPlans(db));
    return tree;
}

}  // namespace tovi
