#include "core/plans/PlanOptions.h"

#include "core/store/Database.h"
#include "core/text/TextToInt.h"

namespace tovi {

bool acceptsOwnCertificate(Database& db, int planId) {
    SqlResult r = db.run(Statement("select own_certificate from plan_options where planid=?",
                                   {static_cast<std::int64_t>(planId)}));
    return r.ok && !r.rows.empty() && textToInt(cellOf(r.rows[0], 0)) == 1;
}

Result<> setAcceptsOwnCertificate(Database& db, int planId, bool accept) {
    return resultOf(
        db.run(Statement("insert or replace into plan_options(planid, own_certificate) values(?,?)",
                         {static_cast<std::int64_t>(planId), std::int64_t{accept ? 1 : 0}})));
}

bool verifiesCertificate(bool sendsLogin, bool acceptsOwn) { return sendsLogin && !acceptsOwn; }

}  // namespace tovi
