// plans, plan show/set/tick/untick/remove/export/import: managing plans without SQL.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanRunner.h"
#include "core/net/Renderer.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanExport.h"
#include "core/plans/PlanFields.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanRows.h"
#include "core/settings/Settings.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {

// The judging mode as --mode and plan set name it.
const char* modeName(JudgeMode mode) {
    return mode == JudgeMode::TimeAscending ? "asc" : mode == JudgeMode::CompareArticleId ? "id" : "desc";
}

namespace {

std::vector<std::string> planRow(Database& db, std::int64_t id) {
    return readPlan(db, id).value_or(std::vector<std::string>{});
}

std::string categoryOf(const std::vector<std::string>& row, const std::vector<std::string>& categories) {
    const auto cls = textToInt(cellOf(row, kRuleClass));
    return cls >= 1 && cls <= static_cast<std::int64_t>(categories.size())
               ? categories[cls - 1]
               : "(" + cellOf(row, kRuleClass) + ")";
}

int plans(Context& ctx, const std::string& format) {
    Database* db = ctx.database();
    if (!db) return format == "json" ? printJsonError(ctx.out, gbk("数据库打开失败"), kFailed) : kFailed;
    const auto categories = Settings(ctx.iniPath()).categories();
    const auto health = loadPlanHealth(*db);
    SqlResult rules = readPlans(*db);
    if (format == "json") {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rules.rows) {
            const auto id = textToInt(cellOf(row, kRuleId));
            auto h = health.find(static_cast<int>(id));
            list.push_back({{"id", id},
                            {"name", gbkToUtf8(cellOf(row, kRuleName))},
                            {"category", gbkToUtf8(categoryOf(row, categories))},
                            {"ticked", textToInt(cellOf(row, kRuleIsdo)) == 1},
                            {"url", gbkToUtf8(cellOf(row, kRuleUrl))},
                            {"last_run", h == health.end() ? "" : h->second.lastRun},
                            {"last_article", gbkToUtf8(cellOf(row, kRuleLasttime))},
                            {"last_outcome", h == health.end() ? "" : gbkToUtf8(h->second.outcome)},
                            {"failures", h == health.end() ? 0 : h->second.failures},
                            {"last_success", h == health.end() ? "" : h->second.lastSuccess}});
        }
        printJson(ctx.out, list);
        return kOk;
    }
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rules.rows) {
        auto h = health.find(static_cast<int>(textToInt(cellOf(row, kRuleId))));
        shown.push_back({cellOf(row, kRuleId), categoryOf(row, categories), cellOf(row, kRuleName),
                         textToInt(cellOf(row, kRuleIsdo)) == 1 ? "yes" : "no", cellOf(row, kRuleUrl),
                         h == health.end() ? "" : h->second.lastRun, cellOf(row, kRuleLasttime),
                         h == health.end() ? "" : h->second.outcome,
                         h == health.end() ? "0" : std::to_string(h->second.failures)});
    }
    // The last run and the last time it stored articles are two things: a plan may run every
    // minute and find something once a week.
    const std::vector<std::string> header = {"id",       "category",     "name",         "ticked",  "url",
                                             "last run", "last article", "last outcome", "failures"};
    if (format == "tsv")
        printTsv(ctx.out, header, shown);
    else
        printTable(ctx.out, header, shown);
    return kOk;
}

int showPlan(Context& ctx, std::int64_t id) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    const auto row = planRow(*db, id);
    const auto categories = Settings(ctx.iniPath()).categories();
    std::vector<std::vector<std::string>> fields = {
        {"id", cellOf(row, kRuleId)},
        {"name", cellOf(row, kRuleName)},
        {"category", categoryOf(row, categories)},
        {"ticked", textToInt(cellOf(row, kRuleIsdo)) == 1 ? "yes" : "no"},
        {"encoding", cellOf(row, kRuleCode) == "1" ? "gbk" : "utf8"},
        {"url", cellOf(row, kRuleUrl)},
        {"cookie", cellOf(row, kRuleCookie)},
        {"ua", cellOf(row, kRuleUa)},
        {"before", cellOf(row, kRuleBefore)},
        {"after", cellOf(row, kRuleAfter)},
        {"expr", cellOf(row, kRuleRegular)},
        {"mode", modeName(judgeModeFromText(cellOf(row, kRuleType)))},
        {"title-group", cellOf(row, kRuleTindex)},
        {"id-group", cellOf(row, kRuleUindex)},
        {"other-group", cellOf(row, kRuleOindex)},
        {"template", cellOf(row, kRuleBuquan)},
        {"links", composesBrowserLinks(*db, static_cast<int>(id)) ? "browser" : "template"},
        {"render", rendersPage(*db, static_cast<int>(id)) ? "yes" : "no"},
        {"json", readsJsonText(*db, static_cast<int>(id)) ? "yes" : "no"},
        {"last article", cellOf(row, kRuleArttile)},
        {"last id", cellOf(row, kRuleLastid)},
        {"last article at", cellOf(row, kRuleLasttime)},
        {"own-certificate", acceptsOwnCertificate(*db, static_cast<int>(id)) ? "yes" : "no"},
    };
    if (auto h = loadPlanHealth(*db, static_cast<int>(id))) {
        fields.push_back({"last run", h->lastRun});
        fields.push_back({"last outcome", h->outcome});
        fields.push_back({"failures", std::to_string(h->failures)});
    }
    printTable(ctx.out, {"field", "value"}, fields);
    return kOk;
}

int setField(Context& ctx, std::int64_t id, const std::string& field, const std::string& value) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    // The plan's switches kept beside table rule: each takes one of two words.
    struct Switch {
        const char* field;
        const char* on;
        const char* off;
        const char* meaning;  // UTF-8
        Result<> (*set)(Database&, int, bool);
    };
    static const Switch kSwitches[] = {
        {"own-certificate", "yes", "no", "接受网站自己的证书", setAcceptsOwnCertificate},
        {"links", "browser", "template", "按浏览器补全链接，或只按模板", setComposesBrowserLinks},
        {"render", "yes", "no", "用浏览器渲染页面", setRendersPage},
        {"json", "yes", "no", "分组是 JSON 字符串", setReadsJsonText},
    };
    for (const Switch& sw : kSwitches) {
        if (field != sw.field) continue;
        if (value != sw.on && value != sw.off) {
            printLine(ctx.err, gbk(std::string(sw.field) + " 只能是 " + sw.on + " 或 " + sw.off + "（" +
                                   sw.meaning + "），不能是 ") +
                                   gbk(value));
            return kUsage;
        }
        if (field == "render" && value == "yes")
            if (const std::string missing = browserMissing(); !missing.empty())
                printLine(ctx.err, gbk("注意：") + missing);
        if (Result<> kept = sw.set(*db, static_cast<int>(id), value == sw.on); !kept) {
            printLine(ctx.err, gbk("没有保存：") + kept.error());
            return kFailed;
        }
        return kOk;
    }
    auto change = planFieldValue(field, gbk(value), Settings(ctx.iniPath()).categories());
    if (!change) {
        printLine(ctx.err, change.error());
        return kUsage;
    }
    // The plan as it would stand must still be one that runs.
    const auto current = planRow(*db, id);
    PlanRow changed{};
    for (int k = 0; k < kRuleColumnCount; ++k) {
        changed[k] = cellOf(current, k);
        if (change->column == ruleColumnName(k))
            changed[k] = std::visit(
                [](const auto& v) -> std::string {
                    using V = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<V, std::string>)
                        return v;
                    else if constexpr (std::is_same_v<V, std::int64_t>)
                        return std::to_string(v);
                    else
                        return {};
                },
                change->value);
    }
    if (Result<> savable = checkPlanSavable(changed); !savable) {
        printLine(ctx.err, gbk("没有修改：") + savable.error());
        return kUsage;
    }
    SqlResult r = setPlanField(*db, id, *change);
    if (!r.ok) {
        printLine(ctx.err, gbk("没有保存：") + r.error);
        return kFailed;
    }
    return kOk;
}

int removePlan(Context& ctx, std::int64_t id) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    SqlResult r = deletePlan(*db, id);
    if (!r.ok) printLine(ctx.err, r.error);
    return r.ok ? kOk : kFailed;
}

int exportPlans(Context& ctx, const std::vector<std::int64_t>& ids) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    std::vector<std::vector<std::string>> rows;
    if (ids.empty()) rows = readPlans(*db).rows;
    for (std::int64_t id : ids) {
        if (!existingPlan(ctx, *db, id)) return kUsage;
        rows.push_back(planRow(*db, id));
    }
    // Meant for a file, to be imported again: written as it is (UTF-8). Shown on a terminal, what
    // a page put in a plan (an ESC, a bidi override) is written as an escape instead.
    std::string text = gbkToUtf8(exportPlansSql(rows, /*keepTicks=*/true, planSwitches(*db, rows)));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    const bool terminal = &ctx.out == &std::cout && ::isatty(STDOUT_FILENO);
    ctx.out << (terminal ? terminalSafe(text) : text);
    return kOk;
}

int importPlans(Context& ctx, const std::string& file, bool duplicates) {
    // Refused by its size before it is read: an export of 200 plans is far smaller.
    std::error_code sizeError;
    if (const auto size = std::filesystem::file_size(file, sizeError); !sizeError && size > (8u << 20)) {
        printLine(ctx.err, gbk("导入失败，没有导入任何方案：文件超过 8 MB，不是方案导出文件"));
        return kFailed;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        printLine(ctx.err, gbk("无法读取导入文件：") + gbk(file));
        return kFailed;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    Database* db = ctx.database();
    if (!db) return kFailed;
    Result<ImportedPlans> r = importPlans(*db, gbk(ss.str()), duplicates);
    if (!r) {
        printLine(ctx.err, gbk("导入失败，没有导入任何方案：") + r.error());
        return kFailed;
    }
    for (const std::string& name : r->skipped)
        printLine(ctx.err, gbk("已有同名同网址的方案，跳过：") + name + gbk("（加 --duplicate 可再次导入）"));
    std::string ids;
    for (int id : r->ids) ids += (ids.empty() ? gbk("（编号 ") : gbk("、")) + std::to_string(id);
    printLine(ctx.out, gbk("已导入 ") + std::to_string(r->ids.size()) + gbk(" 个方案") +
                           (ids.empty() ? "" : ids + gbk("）")));
    return kOk;
}

}  // namespace

void addPlanCommands(CLI::App& app, Action& chosen) {
    auto format = std::make_shared<std::string>("table");
    auto* list = app.add_subcommand(
        "plans", "the plans: id, category, name, ticked, url, last run, last article and outcome");
    list->add_option("--format", *format, "table (default), tsv or json")
        ->check(CLI::IsMember({"table", "tsv", "json"}));
    list->callback([&chosen, format] { chosen = [format](Context& ctx) { return plans(ctx, *format); }; });

    auto* plan =
        app.add_subcommand("plan", "add, suggest, show, change, tick, remove, export and import plans");
    plan->require_subcommand(1);

    addPlanAddCommands(plan, chosen);

    auto id = std::make_shared<std::int64_t>(0);
    auto field = std::make_shared<std::string>(), value = std::make_shared<std::string>();
    auto* show = plan->add_subcommand("show", "every field of a plan");
    show->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
    show->callback([&chosen, id] { chosen = [id](Context& ctx) { return showPlan(ctx, *id); }; });

    auto* set = plan->add_subcommand("set", "change one field of a plan");
    set->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
    std::vector<std::string> names = planFieldNames();
    names.push_back("own-certificate");
    names.push_back("links");
    names.push_back("render");
    names.push_back("json");
    std::string fields;
    for (const auto& n : names) fields += (fields.empty() ? "" : ", ") + n;
    set->add_option("field", *field,
                    fields +
                        " (own-certificate yes: accept the site's own certificate; links browser: decode "
                        "&amp; and resolve links against the page, as a browser follows them; render yes: "
                        "load the page in a "
                        "browser first, for pages built by their scripts)")
        ->required()
        ->check(CLI::IsMember(names));
    set->add_option("value", *value, "the new value")->required();
    set->callback([&chosen, id, field, value] {
        chosen = [id, field, value](Context& ctx) { return setField(ctx, *id, *field, *value); };
    });

    for (const auto& [name, ticked] : {std::pair{"tick", "yes"}, std::pair{"untick", "no"}}) {
        auto* tick = plan->add_subcommand(name, std::string(ticked) == std::string("yes")
                                                    ? "monitor the plan by default (isdo=1)"
                                                    : "do not monitor the plan by default (isdo=0)");
        tick->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
        const std::string mark = ticked;
        tick->callback([&chosen, id, mark] {
            chosen = [id, mark](Context& ctx) { return setField(ctx, *id, "ticked", mark); };
        });
    }

    auto* remove = plan->add_subcommand("remove", "delete a plan (its articles stay)");
    remove->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
    remove->callback([&chosen, id] { chosen = [id](Context& ctx) { return removePlan(ctx, *id); }; });

    auto ids = std::make_shared<std::vector<std::int64_t>>();
    auto* exp =
        plan->add_subcommand("export", "the plans as SQL, as the options window exports them (default: all)");
    exp->add_option("id", *ids, "plans to export (1..200)")->check(planIdRange());
    exp->callback([&chosen, ids] { chosen = [ids](Context& ctx) { return exportPlans(ctx, *ids); }; });

    auto file = std::make_shared<std::string>();
    auto duplicates = std::make_shared<bool>(false);
    auto* imp = plan->add_subcommand(
        "import", "add the plans of an export (UTF-8 file): all of them or none; at most 200 plans in all");
    imp->add_option("file", *file, "the exported text")->required()->check(CLI::ExistingFile);
    imp->add_flag("--duplicate", *duplicates, "also import plans already there (same name and URL)");
    imp->callback([&chosen, file, duplicates] {
        chosen = [file, duplicates](Context& ctx) { return importPlans(ctx, *file, *duplicates); };
    });
}

}  // namespace tovi::cli
