#pragma once
// The plans as stored (table rule), read for the fronts: they ask for plans, never write SQL.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/store/Database.h"

namespace tovi {

// Every plan row with its columns, by id.
SqlResult readPlans(Database& db);
// One plan's row; nullopt when there is no such plan (or it cannot be read: then lastError).
std::optional<std::vector<std::string>> readPlan(Database& db, std::int64_t id);
// The ids of all plans, in order.
std::vector<std::int64_t> planIds(Database& db);

// Whether an article with this row id is stored (nullopt: the database could not say).
std::optional<bool> articleExists(Database& db, std::int64_t articleId);

}  // namespace tovi
