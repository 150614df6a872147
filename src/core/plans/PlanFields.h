#pragma once
// A plan's fields by the names the command line uses, checked before they are stored.
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/store/Database.h"

namespace tovi {

// A plan field set by its name (the command line's words): the column and the value to store,
// or the reason the value does not fit (GBK). Fields: name, url, cookie, ua, template, expr,
// before, after, title-group, id-group, other-group, mode (desc|asc|id), encoding (gbk|utf8),
// category (a name of 类别), ticked (yes|no).
struct PlanFieldValue {
    std::string column;
    SqlValue value;
};
Result<PlanFieldValue> planFieldValue(const std::string& field, const std::string& value,
                                      const std::vector<std::string>& categories);
const std::vector<std::string>& planFieldNames();
SqlResult setPlanField(Database& db, std::int64_t id, const PlanFieldValue& field);

}  // namespace tovi
