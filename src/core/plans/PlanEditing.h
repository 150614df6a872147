#pragma once
// Saving, deleting and flagging plans from the options window, on its own connection. Values are bound, so
// quotes in any text are stored exactly; the statement text shown to the user (and exported) has the values
// written in the way SQLite reads them back.
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/store/Database.h"

namespace tovi {

// The editor's values, GBK texts exactly as typed.
struct PlanFields {
    std::string code;  // "1" GBK, "0" UTF-8
    std::int64_t classNumber = 1;
    std::string url, before, after, regular, buquan, cookie;
    std::string tindex, uindex, oindex;
    std::string ua, name;
    int type = 0;  // JudgeMode
    // Links composed as a browser follows them (a switch kept beside table rule); a new plan
    // saves it, an update leaves the switch to the editor's own control.
    bool browserLinks = false;
    bool render = false;    // the page is loaded in a browser first (likewise kept beside rule)
    bool jsonText = false;  // the groups are JSON strings (a plan over a script's JSON request)
};

// The values as a rule row (20 cells; no id, unticked, no last-article state): for the export
// form of a new plan and for checking a plan before it is saved.
std::vector<std::string> ruleRowOf(const PlanFields& fields);

// A saved plan: its id, and the statement with its values written in, for the clipboard (a
// new plan's in the export form, without id; an update as it ran). A failed save says why
// (GBK, for the "失败！" box), with the statement as the error's detail when one ran.
struct SavedPlan {
    int id = 0;
    std::string statement;
};

// The editor's default user agent for new and copied plans.
extern const char* const kEditorDefaultUserAgent;

// id 0 inserts a new plan with the lowest free id in 1-200 (refused when all 200 are taken);
// any other id updates that plan, keeping isdo and the last-article state.
Result<SavedPlan> savePlan(Database& db, const PlanFields& fields, std::int64_t id);

// Removes the plan and, in the same transaction, everything kept beside it (its title rules,
// health, remembered titles and page validators). Its articles stay, detached from the id
// (planid 0), so a later plan that receives the id starts clean.
SqlResult deletePlan(Database& db, std::int64_t id);
// The same, keeping the plan and what was kept for it aside on this connection, so that
// undoPlanDelete can put it back (until the next delete on it, or until it closes).
SqlResult deletePlanUndoably(Database& db, std::int64_t id);
// The plan deleted last on this connection back under its id, with its rules, switches, health
// and visits, and its articles counted as its own again. Fails when the id was taken meanwhile.
Result<> undoPlanDelete(Database& db, std::int64_t id);
// The same clean-up inside a write transaction that is already open.
bool forgetPlanLeftovers(Transaction& t, std::int64_t id);
// The lowest id in 1-200 no plan has (201 when all are taken); nullopt when it cannot be read.
std::optional<std::int64_t> lowestFreeId(Transaction& t);

// isdo becomes 1 when its value reads as 0, otherwise 0.
SqlResult toggleDefaultFlag(Database& db, std::int64_t id, const std::string& isdoText);

// The plan list's column titles: number and name, "0id", "1class", …
std::vector<std::string> planListHeaders(const std::vector<std::string>& columns);

// The category editor's text (lines separated by CR LF) as the 类别 value: <a><b>; blank
// lines and the final line break leave no empty categories.
std::string categoriesFromEditorText(const std::string& text);

}  // namespace tovi
