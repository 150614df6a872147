#include "core/plans/Categories.h"

#include <algorithm>

#include "core/store/Database.h"
#include "core/text/TextToInt.h"

namespace tovi {

CategoryEdit categoryEdit(const std::vector<std::string>& before, const std::vector<std::string>& after,
                          const std::map<int, int>& plansPerPosition) {
    CategoryEdit edit;
    auto positionIn = [](const std::vector<std::string>& list, const std::string& name) {
        const auto it = std::find(list.begin(), list.end(), name);
        return it == list.end() ? 0 : static_cast<int>(it - list.begin()) + 1;
    };
    for (std::size_t i = 0; i < before.size(); ++i) {
        const int oldPosition = static_cast<int>(i) + 1;
        int newPosition = positionIn(after, before[i]);
        if (newPosition == 0 && before.size() == after.size() && positionIn(before, after[i]) == 0)
            newPosition = oldPosition;  // renamed in place
        const auto held = plansPerPosition.find(oldPosition);
        const int plans = held == plansPerPosition.end() ? 0 : held->second;
        if (newPosition == 0) {
            if (plans > 0) edit.dropped.push_back({before[i], oldPosition, plans});
        } else if (newPosition != oldPosition && plans > 0) {
            edit.moves.emplace_back(oldPosition, newPosition);
        }
    }
    return edit;
}

std::map<int, int> plansPerCategory(Database& db) {
    std::map<int, int> counts;
    SqlResult r = db.run("select class, count(*) from rule group by class");
    for (const auto& row : r.rows)
        counts[static_cast<int>(textToInt(cellOf(row, 0)))] = static_cast<int>(textToInt(cellOf(row, 1)));
    return counts;
}

Result<> applyCategoryEdit(Database& db, const CategoryEdit& edit, int into) {
    // Through negative classes, so that two categories that swap places never meet.
    std::vector<Statement> statements;
    for (const auto& [from, to] : edit.moves)
        statements.emplace_back(
            "update rule set class=? where class=?",
            std::vector<SqlValue>{static_cast<std::int64_t>(-to), static_cast<std::int64_t>(from)});
    for (const CategoryEdit::Dropped& d : edit.dropped)
        statements.emplace_back(
            "update rule set class=? where class=?",
            std::vector<SqlValue>{static_cast<std::int64_t>(-into), static_cast<std::int64_t>(d.position)});
    if (statements.empty()) return {};
    statements.emplace_back("update rule set class=-class where class<0");
    // All or nothing: a class left negative would hide its plans from every branch.
    return db.writeTransaction([&](Transaction& t) {
        for (const Statement& s : statements)
            if (!t.run(s).ok) return false;
        return true;
    });
}

}  // namespace tovi
