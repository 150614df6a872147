#pragma once
// Plans as text to keep or share: the insert statements that recreate them, and reading such a
// text back (nothing but plan rows can come in that way).
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/plans/PlanOptions.h"
#include "core/store/Database.h"

namespace tovi {

// The insert statement that recreates a plan row (20 cells of table rule) elsewhere, without
// its last-article state; unticked (isdo 0) unless the tick is kept.
std::string planInsertSql(const std::vector<std::string>& ruleRow, bool keepTick = false);
// The clipboard text for the selected rows: a header line (a comment to SQL), then each
// statement (ending in ";") and a blank line; the whole text runs in the SQL console. A backup
// keeps the plans' ticks; a text to share leaves them unticked.
// Each switch a plan has on (switches[k] for row k) is a comment line before its statement
// (kLinksComment, kRenderComment, kJsonComment), which an import reads back; other readers of
// the text take it for a comment.
std::string exportPlansSql(const std::vector<std::vector<std::string>>& ruleRows, bool keepTicks = false,
                           const std::vector<PlanSwitches>& switches = {});
extern const char* const kLinksComment;   // links composed as a browser follows them
extern const char* const kRenderComment;  // the page loaded in a browser
extern const char* const kJsonComment;    // a plan over a JSON response

// The plans an export text (or any text of such inserts) recreates. The text can only insert
// plan rows: anything else in it is refused and nothing is imported. Each plan takes the lowest
// free id; a plan already there (same name and URL) is skipped unless duplicates are wanted;
// a text that would pass 200 plans is refused before anything is written. All or none.
// When nothing was imported, why (GBK).
struct ImportedPlans {
    std::vector<int> ids;              // the new plans' ids
    std::vector<std::string> skipped;  // names of the plans already there
};
Result<ImportedPlans> importPlans(Database& db, const std::string& exportText, bool allowDuplicates = false);

}  // namespace tovi
