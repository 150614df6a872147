#pragma once
// Plans are filed under a category by its position in 类别 (table rule's class, 1-based), as
// the Windows version reads them. Saving new category names keeps each plan under its category
// by name: the plans follow their category to its new position, and those of a removed
// category go where the user says.
#include <map>
#include <string>
#include <vector>

#include "core/Result.h"

namespace tovi {

class Database;

struct CategoryEdit {
    std::vector<std::pair<int, int>> moves;  // old position -> new position, for categories kept
    struct Dropped {
        std::string name;  // GBK
        int position = 0;  // old, 1-based
        int plans = 0;
    };
    std::vector<Dropped> dropped;  // removed categories that still hold plans
};

// A category is kept when its name stands in the new list; with as many lines as before, a line
// whose old and new names are both gone was renamed in place.
CategoryEdit categoryEdit(const std::vector<std::string>& before, const std::vector<std::string>& after,
                          const std::map<int, int>& plansPerPosition);

// How many plans each class holds.
std::map<int, int> plansPerCategory(Database& db);

// Files the plans anew in one transaction: the kept categories' plans at their new positions,
// the dropped ones' under `into` (a new position, 1-based).
Result<> applyCategoryEdit(Database& db, const CategoryEdit& edit, int into);

}  // namespace tovi
