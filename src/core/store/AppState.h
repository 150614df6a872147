#pragma once
// Small facts the program keeps for itself between starts (table app_state of tovi.sdb, which
// the Windows version never reads): whether monitoring was on, where the window stood.
#include <optional>
#include <string>

#include "core/Result.h"

namespace tovi {

class Database;

// nullopt when never written (or the file cannot say).
std::optional<std::string> appState(Database& db, const std::string& key);
Result<> setAppState(Database& db, const std::string& key, const std::string& value);

}  // namespace tovi
