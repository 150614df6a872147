#include "core/plans/PlanOptions.h"

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"

namespace tovi {

namespace {

// One switch of a plan: a column of plan_options (our own names, never the caller's text).
bool switchOn(Database& db, int planId, const char* column) {
    SqlResult r = db.run(Statement(std::string("select ") + column + " from plan_options where planid=?",
                                   {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

// Only this switch changes: the plan's other options stay as they are.
Result<> setSwitch(Database& db, int planId, const char* column, bool on) {
    const std::string c = column;
    return resultOf(db.run(Statement("insert into plan_options(planid, " + c +
                                         ") values(?,?) on conflict(planid) "
                                         "do update set " +
                                         c + "=excluded." + c,
                                     {static_cast<std::int64_t>(planId), std::int64_t{on ? 1 : 0}})));
}

// The switch for each plan row (table rule's cells).
std::vector<bool> switchesOf(Database& db, const std::vector<std::vector<std::string>>& ruleRows,
                             const char* column) {
    std::vector<bool> out;
    for (const auto& row : ruleRows)
        out.push_back(switchOn(db, static_cast<int>(textToInt(cellOf(row, kRuleId))), column));
    return out;
}

}  // namespace

bool acceptsOwnCertificate(Database& db, int planId) { return switchOn(db, planId, "own_certificate"); }
Result<> setAcceptsOwnCertificate(Database& db, int planId, bool accept) {
    return setSwitch(db, planId, "own_certificate", accept);
}
bool composesBrowserLinks(Database& db, int planId) { return switchOn(db, planId, "browser_links"); }
Result<> setComposesBrowserLinks(Database& db, int planId, bool browser) {
    return setSwitch(db, planId, "browser_links", browser);
}
bool rendersPage(Database& db, int planId) { return switchOn(db, planId, "render"); }
Result<> setRendersPage(Database& db, int planId, bool render) {
    return setSwitch(db, planId, "render", render);
}
bool readsJsonText(Database& db, int planId) { return switchOn(db, planId, "json_text"); }
Result<> setReadsJsonText(Database& db, int planId, bool json) {
    return setSwitch(db, planId, "json_text", json);
}

std::vector<bool> browserLinkSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    return switchesOf(db, ruleRows, "browser_links");
}
std::vector<bool> renderSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    return switchesOf(db, ruleRows, "render");
}
std::vector<bool> jsonTextSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    return switchesOf(db, ruleRows, "json_text");
}

std::vector<int> renderingPlans(Database& db) {
    std::vector<int> ids;
    for (const auto& row : db.run("select planid from plan_options where render=1").rows)
        ids.push_back(static_cast<int>(textToInt(cellOf(row, 0))));
    return ids;
}

bool verifiesCertificate(bool sendsLogin, bool acceptsOwn) { return sendsLogin && !acceptsOwn; }

}  // namespace tovi
