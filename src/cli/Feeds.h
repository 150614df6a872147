#pragma once
// Atom feeds written to files: whole documents replaced at once (written beside, then renamed).
#include <filesystem>
#include <string>

#include "core/Result.h"

namespace tovi {
class Database;
struct ArticleView;
}  // namespace tovi

namespace tovi::cli {

// The newest `limit` articles of the view as an Atom document (UTF-8).
std::string feedOf(Database& db, const ArticleView& view, int limit);

// One feed per plan (plan-ID.xml) and all.xml; every file that can be is written, the first
// failure says why.
Result<> writeFeedDirectory(Database& db, const std::filesystem::path& dir);

}  // namespace tovi::cli
