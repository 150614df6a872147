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

std::vector<PlanSwitches> planSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    std::vector<PlanSwitches> out;
    for (const auto& row : ruleRows) {
        SqlResult r =
            db.run(Statement("select browser_links, render, json_text from plan_options where planid=?",
                             {textToInt(cellOf(row, kRuleId))}));
        const std::vector<std::string> none;
        const auto& cells = r.ok && !r.rows.empty() ? r.rows[0] : none;
        const auto on = [&](int k) { return textToInt(cellOf(cells, k)) == 1; };
        out.push_back({on(0), on(1), on(2)});
    }
    return out;
}

SqlResult recordPlanSwitches(Transaction& t, std::int64_t planId, const PlanSwitches& s) {
    if (!s.browserLinks && !s.render && !s.jsonText) return SqlResult{.ok = true};
    return t.run(
        Statement("insert into plan_options(planid, browser_links, render, json_text) values(?,?,?,?)",
                  {planId, std::int64_t{s.browserLinks}, std::int64_t{s.render}, std::int64_t{s.jsonText}}));
}

std::vector<int> renderingPlans(Database& db) {
    std::vector<int> ids;
    for (const auto& row : db.run("select planid from plan_options where render=1").rows)
        ids.push_back(static_cast<int>(textToInt(cellOf(row, 0))));
    return ids;
}

bool verifiesCertificate(bool sendsLogin, bool acceptsOwn) { return sendsLogin && !acceptsOwn; }

}  // namespace tovi
