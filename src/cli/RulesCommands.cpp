// rules: title rules for every plan or one, without SQL.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/plans/TitleRules.h"
#include "core/text/Gbk.h"

namespace tovi::cli {
namespace {

struct RulesOptions {
    std::int64_t plan = 0;
    std::optional<std::string> include, exclude, action;
};

int setRules(Context& ctx, const RulesOptions& o) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (o.plan && !existingPlan(ctx, *db, o.plan)) return kUsage;
    const int id = static_cast<int>(o.plan);
    TitleRules rules = loadTitleRules(*db, id).value_or(TitleRules{});
    if (o.include) {
        rules.include = gbk(*o.include);
        rules.includeOn = !titleKeywords(rules.include).empty();
    }
    if (o.exclude) {
        rules.exclude = gbk(*o.exclude);
        rules.excludeOn = !titleKeywords(rules.exclude).empty();
    }
    if (o.action) rules.action = *o.action == "alert" ? TitleRules::Action::Alert : TitleRules::Action::Store;
    if (Result<> saved = saveTitleRules(*db, id, rules); !saved) {
        printLine(ctx.err, gbk("保存失败，请重试！") + saved.error());
        return kFailed;
    }
    return kOk;
}

int showRules(Context& ctx, std::int64_t plan) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (plan && !existingPlan(ctx, *db, plan)) return kUsage;
    const int id = static_cast<int>(plan);
    const bool own = id != kGlobalRules && loadTitleRules(*db, id).has_value();
    const TitleRules rules =
        id == kGlobalRules ? loadTitleRules(*db, id).value_or(TitleRules{}) : rulesForPlan(*db, id);
    std::string whose = id == kGlobalRules ? "every plan"
                        : own              ? "plan " + std::to_string(id) + " (its own)"
                                           : "plan " + std::to_string(id) + " (those for every plan)";
    std::vector<std::vector<std::string>> rows = {
        {"rules for", whose},
        {"include", rules.includeOn ? rules.include : std::string("(off)")},
        {"exclude", rules.excludeOn ? rules.exclude : std::string("(off)")},
        {"action", rules.action == TitleRules::Action::Alert ? "alert" : "store"},
    };
    printTable(ctx.out, {"", ""}, rows);
    return kOk;
}

int clearRules(Context& ctx, std::int64_t plan) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (plan && !existingPlan(ctx, *db, plan)) return kUsage;
    return clearTitleRules(*db, static_cast<int>(plan)) ? kOk : kFailed;
}

}  // namespace

void addRulesCommands(CLI::App& app, Action& chosen) {
    auto r = std::make_shared<RulesOptions>();
    auto* rules = app.add_subcommand("rules", "title rules: keywords a title must or must not hold");
    rules->require_subcommand(1);
    auto* rset = rules->add_subcommand("set", "set the rules for every plan, or a plan's own (--plan)");
    rset->add_option("--plan", r->plan, "a plan's own rules (1..200)")->check(planIdRange());
    rset->add_option("--include", r->include,
                     "keywords, a title must hold one: \"招聘,转让\" (\"\" turns it off)");
    rset->add_option("--exclude", r->exclude,
                     "keywords, a title holding one is dropped: \"广告\" (\"\": off)");
    rset->add_option("--action", r->action,
                     "store: rules decide what is stored; alert: what raises the alert")
        ->check(CLI::IsMember({"store", "alert"}));
    rset->callback([&chosen, r] { chosen = [r](Context& ctx) { return setRules(ctx, *r); }; });
    auto* rshow = rules->add_subcommand("show", "the rules that apply (to every plan, or to --plan)");
    rshow->add_option("--plan", r->plan, "the plan (1..200)")->check(planIdRange());
    rshow->callback([&chosen, r] { chosen = [r](Context& ctx) { return showRules(ctx, r->plan); }; });
    auto* rclear =
        rules->add_subcommand("clear", "remove the rules for every plan, or a plan's own (--plan)");
    rclear->add_option("--plan", r->plan, "the plan (1..200)")->check(planIdRange());
    rclear->callback([&chosen, r] { chosen = [r](Context& ctx) { return clearRules(ctx, r->plan); }; });
}

}  // namespace tovi::cli
