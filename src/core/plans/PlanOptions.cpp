#include "core/plans/PlanOptions.h"

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"

namespace tovi {

bool acceptsOwnCertificate(Database& db, int planId) {
    SqlResult r = db.run(Statement("select own_certificate from plan_options where planid=?",
                                   {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

Result<> setAcceptsOwnCertificate(Database& db, int planId, bool accept) {
    // Only this switch changes: the plan's other options stay as they are.
    return resultOf(
        db.run(Statement("insert into plan_options(planid, own_certificate) values(?,?) "
                         "on conflict(planid) do update set own_certificate=excluded.own_certificate",
                         {static_cast<std::int64_t>(planId), std::int64_t{accept ? 1 : 0}})));
}

bool composesBrowserLinks(Database& db, int planId) {
    SqlResult r = db.run(Statement("select browser_links from plan_options where planid=?",
                                   {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

Result<> setComposesBrowserLinks(Database& db, int planId, bool browser) {
    return resultOf(
        db.run(Statement("insert into plan_options(planid, browser_links) values(?,?) "
                         "on conflict(planid) do update set browser_links=excluded.browser_links",
                         {static_cast<std::int64_t>(planId), std::int64_t{browser ? 1 : 0}})));
}

bool rendersPage(Database& db, int planId) {
    SqlResult r = db.run(
        Statement("select render from plan_options where planid=?", {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

Result<> setRendersPage(Database& db, int planId, bool render) {
    return resultOf(
        db.run(Statement("insert into plan_options(planid, render) values(?,?) "
                         "on conflict(planid) do update set render=excluded.render",
                         {static_cast<std::int64_t>(planId), std::int64_t{render ? 1 : 0}})));
}

bool readsJsonText(Database& db, int planId) {
    SqlResult r = db.run(
        Statement("select json_text from plan_options where planid=?", {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

Result<> setReadsJsonText(Database& db, int planId, bool json) {
    return resultOf(
        db.run(Statement("insert into plan_options(planid, json_text) values(?,?) "
                         "on conflict(planid) do update set json_text=excluded.json_text",
                         {static_cast<std::int64_t>(planId), std::int64_t{json ? 1 : 0}})));
}

std::vector<bool> jsonTextSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    std::vector<bool> out;
    for (const auto& row : ruleRows)
        out.push_back(readsJsonText(db, static_cast<int>(textToInt(cellOf(row, kRuleId)))));
    return out;
}

std::vector<int> renderingPlans(Database& db) {
    std::vector<int> ids;
    for (const auto& row : db.run("select planid from plan_options where render=1").rows)
        ids.push_back(static_cast<int>(textToInt(cellOf(row, 0))));
    return ids;
}

std::vector<bool> renderSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    std::vector<bool> out;
    for (const auto& row : ruleRows)
        out.push_back(rendersPage(db, static_cast<int>(textToInt(cellOf(row, kRuleId)))));
    return out;
}

std::vector<bool> browserLinkSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows) {
    std::vector<bool> out;
    for (const auto& row : ruleRows)
        out.push_back(composesBrowserLinks(db, static_cast<int>(textToInt(cellOf(row, kRuleId)))));
    return out;
}

bool verifiesCertificate(bool sendsLogin, bool acceptsOwn) { return sendsLogin && !acceptsOwn; }

}  // namespace tovi
