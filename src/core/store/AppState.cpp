#include "core/store/AppState.h"

#include "core/store/Database.h"

namespace tovi {

std::optional<std::string> appState(Database& db, const std::string& key) {
    SqlResult r = db.run(Statement("select value from app_state where key=?", {key}));
    if (!r.ok || r.rows.empty()) return std::nullopt;
    return cellOf(r.rows[0], 0);
}

Result<> setAppState(Database& db, const std::string& key, const std::string& value) {
    return resultOf(
        db.run(Statement("insert or replace into app_state(key, value) values(?, ?)", {key, value})));
}

}  // namespace tovi
