#pragma once
// The plan tree's data: one branch per category (from 类别), each with its plans and ticks.
// The GUI tree and the run queue both read it; ticks live here, never in the database.
#include <optional>
#include <string>
#include <vector>

#include "core/plans/PlanHealth.h"

namespace tovi {

class Database;
class PlanTable;
class Settings;
class StatusSink;

// Which plans a worker queues.
enum class RunMode { RunUnticked = 0, RunTicked = 1, RunAll = 2 };

struct PlanNode {
    int id = 0;
    std::string text;  // name + " [" + id + "]"
    bool ticked = false;
    std::optional<PlanHealthRecord> health;  // none before its first run
    bool placeholder = false;  // its page is on a domain kept for examples: 一键提取 leaves it out
};

struct CategoryNode {
    std::string name;
    std::vector<PlanNode> plans;
};

struct PlanTree {
    std::vector<CategoryNode> categories;

    // Plan ids in tree order (categories in order, then their plans) for a worker's queue.
    std::vector<int> queue(RunMode mode) const;
    const PlanNode* find(int id) const;
};

// Rebuilds the tree from 类别 and table rule, then refills the plan table (start-up and
// "刷新方案列表"). Plans whose class has no category are in the table but in no branch.
PlanTree refreshPlanTree(Database& db, const Settings& settings, PlanTable& table, StatusSink* sink);

}  // namespace tovi
