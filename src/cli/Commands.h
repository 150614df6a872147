#pragma once
#include <memory>
#include <optional>

#include "cli/Cli.h"
#include "core/store/Database.h"

namespace tovi::cli {

int commandInit(Context& ctx);
int commandSql(Context& ctx);
int commandSettings(Context& ctx);
int commandRun(Context& ctx);
int commandArticles(Context& ctx);
int commandPlans(Context& ctx);
int commandTest(Context& ctx);
int commandFavourite(Context& ctx);

// Opens DIR/tovi.sdb as the program does at start-up: a missing file is the start-up
// failure "启动失败" with the path; nothing is ever created. Prints the reason on failure.
std::unique_ptr<Database> openProgramDatabase(Context& ctx);

}  // namespace tovi::cli
