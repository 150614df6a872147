#pragma once
// Switches of a plan kept beside table rule (which other readers of tovi.sdb share and which
// therefore never changes shape).
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/store/Database.h"

namespace tovi {

// A plan that logs in (it carries a cookie) checks the site's certificate in monitoring runs,
// so its login never reaches a man in the middle; this switch lets a user knowingly accept a
// site's own (self-signed) certificate. Off unless set.
bool acceptsOwnCertificate(Database& db, int planId);
Result<> setAcceptsOwnCertificate(Database& db, int planId, bool accept);

// How a plan makes the address of an article from its link group and URL template. Plans from
// before keep storing what the template gives (so none of their articles is stored twice);
// with this switch the result is read as a browser follows a link: character references
// decoded ("&amp;" is "&"), then resolved against the page's address (or its <base href>).
// New plans from a suggestion have it on.
bool composesBrowserLinks(Database& db, int planId);
Result<> setComposesBrowserLinks(Database& db, int planId, bool browser);
// A page built by its scripts is loaded in a browser before the plan reads it ("渲染页面").
bool rendersPage(Database& db, int planId);
Result<> setRendersPage(Database& db, int planId, bool render);
// A plan over a JSON response (the request behind a page its scripts build): its groups are JSON
// strings, read with their escapes resolved ("\u4e00", "\/").
bool readsJsonText(Database& db, int planId);
Result<> setReadsJsonText(Database& db, int planId, bool json);

// The switches a plan carries into another tovi.sdb (an export, a new plan). Accepting a site's
// own certificate is a login's choice and stays home.
struct PlanSwitches {
    bool browserLinks = false, render = false, jsonText = false;
};
// Those of each plan row (table rule's cells), for an export.
std::vector<PlanSwitches> planSwitches(Database& db, const std::vector<std::vector<std::string>>& ruleRows);
// Written for a plan just inserted, in the transaction that inserted it (nothing when all are off).
SqlResult recordPlanSwitches(Transaction& t, std::int64_t planId, const PlanSwitches& switches);

// The plans that do, for the plan table.
std::vector<int> renderingPlans(Database& db);

// Whether a run of the plan checks the site's certificate: when it sends a login of the user's.
bool verifiesCertificate(bool sendsLogin, bool acceptsOwn);

}  // namespace tovi
