#pragma once
// Title rules: keep only the articles a user cares about. A title must contain at least one of
// the wanted keywords (when that list is on) and none of the unwanted ones (when that list is
// on). The rules either decide what is stored, or only what raises the alert. One set applies
// to every plan; a plan may carry its own.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "core/text/KeywordSet.h"

namespace tovi {

class Database;

struct TitleRules {
    enum class Action { Store, Alert };  // 入库 / 提醒

    bool includeOn = false;
    std::string include;  // GBK keywords, separated by spaces or commas
    bool excludeOn = false;
    std::string exclude;
    Action action = Action::Store;

    // Whether the rules say anything at all.
    bool active() const;
    // Whether a title passes: matched by whole GBK characters, ASCII letters in any case.
    bool passes(std::string_view title) const;
    bool operator==(const TitleRules&) const = default;
};

// The rules made ready for many titles: each list split and compiled once, so a run's titles
// are judged in time that grows with the titles, not with the number of keywords.
class TitleFilter {
public:
    explicit TitleFilter(const TitleRules& rules);
    bool passes(std::string_view title) const;

private:
    KeywordSet m_include, m_exclude;
};

// The keywords of a list: split at ASCII and full-width spaces and commas, empty ones dropped.
std::vector<std::string> titleKeywords(std::string_view list);

constexpr int kGlobalRules = 0;

// The rules stored for a plan (kGlobalRules: for every plan); nullopt when none.
std::optional<TitleRules> loadTitleRules(Database& db, int planId);
// The rules that apply to a plan: its own, else the global ones, else none.
TitleRules rulesForPlan(Database& db, int planId);
// The same from the rows of rulesQuery (bound with the plan id), for a caller inside a
// transaction of its own.
extern const char* const kRulesQuery;
TitleRules rulesFromRows(const std::vector<std::vector<std::string>>& rows, int planId);
Result<> saveTitleRules(Database& db, int planId, const TitleRules& rules);
// A plan goes back to the global rules (kGlobalRules: no global rules).
Result<> clearTitleRules(Database& db, int planId);

}  // namespace tovi
