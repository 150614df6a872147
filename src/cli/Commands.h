#pragma once
// The commands of tovidesk-cli: each adds its subcommand to the application and runs it when
// chosen. A handler returns the exit code.
#include <functional>
#include <memory>
#include <optional>

#include "cli/Cli.h"
#include "core/monitor/Pipeline.h"
#include "core/store/Database.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace tovi::cli {

// Runs the chosen subcommand; set by each command's setup when it is parsed.
using Action = std::function<int(Context&)>;

void addStoreCommands(CLI::App& app, Action& chosen);     // init, sql, settings
void addMonitorCommands(CLI::App& app, Action& chosen);   // run, test
void addArticleCommands(CLI::App& app, Action& chosen);   // articles, favourite, feed
void addPlanCommands(CLI::App& app, Action& chosen);      // plans, plan
void addPlanAddCommands(CLI::App* plan, Action& chosen);  // plan add, plan suggest
void addRulesCommands(CLI::App& app, Action& chosen);     // rules
void addPushCommands(CLI::App& app, Action& chosen);      // push

// The judging mode as --mode and plan set name it: desc, asc or id.
const char* modeName(JudgeMode mode);

// A plan id argument: 1 to 200 (the message says so).
CLI::Validator planIdRange();
// A whole number from `least` on (the message says so).
CLI::Validator wholeNumber(std::int64_t least);

// A plan id as the commands take it: 1 to 200 and present in table rule; otherwise the
// reason is printed and nullopt returned.
std::optional<std::int64_t> existingPlan(Context& ctx, Database& db, std::int64_t id);

}  // namespace tovi::cli
