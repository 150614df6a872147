#include "core/plans/TitleRules.h"

#include "core/store/Database.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

std::vector<std::string> titleKeywords(std::string_view list) {
    static const std::string fullComma = gbk("，"), fullSpace = gbk("　");
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < list.size();) {
        const std::size_t len = gbkCharLength(list, i);
        const std::string_view ch = list.substr(i, len);
        if (ch == " " || ch == "," || ch == "\t" || ch == "\r" || ch == "\n" || ch == fullComma ||
            ch == fullSpace) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word.append(ch);
        }
        i += len;
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

bool TitleRules::active() const {
    return (includeOn && !titleKeywords(include).empty()) || (excludeOn && !titleKeywords(exclude).empty());
}

bool TitleRules::passes(std::string_view title) const { return TitleFilter(*this).passes(title); }

TitleFilter::TitleFilter(const TitleRules& rules)
    : m_include(rules.includeOn ? titleKeywords(rules.include) : std::vector<std::string>{}),
      m_exclude(rules.excludeOn ? titleKeywords(rules.exclude) : std::vector<std::string>{}) {}

bool TitleFilter::passes(std::string_view title) const {
    if (!m_include.empty() && !m_include.foundIn(title)) return false;
    return !m_exclude.foundIn(title);
}

const char* const kRulesQuery =
    "select planid, include_on, include, exclude_on, exclude, action from title_rules where planid in (?, 0)";

namespace {

TitleRules rulesOf(const std::vector<std::string>& row) {
    TitleRules rules;
    rules.includeOn = textToInt(cellOf(row, 1)) != 0;
    rules.include = cellOf(row, 2);
    rules.excludeOn = textToInt(cellOf(row, 3)) != 0;
    rules.exclude = cellOf(row, 4);
    rules.action = cellOf(row, 5) == "alert" ? TitleRules::Action::Alert : TitleRules::Action::Store;
    return rules;
}

SqlResult rulesRows(Database& db, int planId) {
    return db.run(Statement(kRulesQuery, {static_cast<std::int64_t>(planId)}));
}

}  // namespace

TitleRules rulesFromRows(const std::vector<std::vector<std::string>>& rows, int planId) {
    std::optional<TitleRules> global;
    for (const auto& row : rows) {
        const auto id = textToInt(cellOf(row, 0));
        if (id == planId) return rulesOf(row);
        if (id == kGlobalRules) global = rulesOf(row);
    }
    return global.value_or(TitleRules{});
}

std::optional<TitleRules> loadTitleRules(Database& db, int planId) {
    for (const auto& row : rulesRows(db, planId).rows)
        if (textToInt(cellOf(row, 0)) == planId) return rulesOf(row);
    return std::nullopt;
}

TitleRules rulesForPlan(Database& db, int planId) {
    return rulesFromRows(rulesRows(db, planId).rows, planId);
}

Result<> saveTitleRules(Database& db, int planId, const TitleRules& rules) {
    return resultOf(db.run(Statement(
        "insert or replace into title_rules(planid, include_on, include, exclude_on, exclude, action) "
        "values(?,?,?,?,?,?)",
        {static_cast<std::int64_t>(planId), std::int64_t{rules.includeOn}, rules.include,
         std::int64_t{rules.excludeOn}, rules.exclude,
         std::string(rules.action == TitleRules::Action::Alert ? "alert" : "store")})));
}

Result<> clearTitleRules(Database& db, int planId) {
    return resultOf(
        db.run(Statement("delete from title_rules where planid=?", {static_cast<std::int64_t>(planId)})));
}

}  // namespace tovi
