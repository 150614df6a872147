// plans, plan, rules: managing plans and title rules without SQL.
#include <CLI/CLI.hpp>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanExtractor.h"
#include "core/monitor/PlanHealth.h"
#include "core/monitor/PlanTestRun.h"
#include "core/net/DirectHttpRequest.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/TitleRules.h"
#include "core/settings/Settings.h"
#include "core/store/Schema.h"
#include "core/suggest/Encoding.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {
namespace {

std::vector<std::string> planRow(Database& db, std::int64_t id) {
    auto rows = db.run(Statement("select * from rule where id=?", {id})).rows;
    return rows.empty() ? std::vector<std::string>{} : rows[0];
}

std::string categoryOf(const std::vector<std::string>& row, const std::vector<std::string>& categories) {
    const auto cls = TextToInt(cellOf(row, kRuleClass));
    return cls >= 1 && cls <= static_cast<std::int64_t>(categories.size())
               ? categories[cls - 1]
               : "(" + cellOf(row, kRuleClass) + ")";
}

int plans(Context& ctx, const std::string& format) {
    auto db = openProgramDatabase(ctx);
    if (!db) return format == "json" ? printJsonError(ctx.out, gbk("数据库打开失败"), kFailed) : kFailed;
    const auto categories = Settings(ctx.iniPath()).categories();
    const auto health = loadPlanHealth(*db);
    SqlResult rules = db->run("select * from rule order by id");
    if (format == "json") {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rules.rows) {
            const auto id = TextToInt(cellOf(row, kRuleId));
            auto h = health.find(static_cast<int>(id));
            list.push_back({{"id", id},
                            {"name", gbkToUtf8(cellOf(row, kRuleName))},
                            {"category", gbkToUtf8(categoryOf(row, categories))},
                            {"ticked", TextToInt(cellOf(row, kRuleIsdo)) == 1},
                            {"url", gbkToUtf8(cellOf(row, kRuleUrl))},
                            {"last_run", gbkToUtf8(cellOf(row, kRuleLasttime))},
                            {"last_outcome", h == health.end() ? "" : gbkToUtf8(h->second.outcome)},
                            {"failures", h == health.end() ? 0 : h->second.failures},
                            {"last_success", h == health.end() ? "" : h->second.lastSuccess}});
        }
        printJson(ctx.out, list);
        return kOk;
    }
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rules.rows) {
        auto h = health.find(static_cast<int>(TextToInt(cellOf(row, kRuleId))));
        shown.push_back({cellOf(row, kRuleId), categoryOf(row, categories), cellOf(row, kRuleName),
                         TextToInt(cellOf(row, kRuleIsdo)) == 1 ? "yes" : "no", cellOf(row, kRuleUrl),
                         cellOf(row, kRuleLasttime), h == health.end() ? "" : h->second.outcome,
                         h == health.end() ? "0" : std::to_string(h->second.failures)});
    }
    const std::vector<std::string> header = {"id",  "category", "name",         "ticked",
                                             "url", "last run", "last outcome", "failures"};
    if (format == "tsv")
        printTsv(ctx.out, header, shown);
    else
        printTable(ctx.out, header, shown);
    return kOk;
}

struct AddOptions {
    std::string name, url, expr, before = "<html", after = "</html>", mode = "desc", category, cookie;
    std::string ua = kEditorDefaultUserAgent, urlTemplate;
    std::string titleGroup, idGroup = "1", otherGroup;
    std::string suggest;
    int pick = 1;
    bool utf8 = false, gbkFlag = false, force = false;
};

// The judging mode as --mode and plan set name it.
const char* modeName(JudgeMode mode) {
    return mode == JudgeMode::TimeAscending ? "asc" : mode == JudgeMode::CompareArticleId ? "id" : "desc";
}

// Proposals for a page; prints the reason and returns nothing when there are none.
std::optional<SuggestResult> suggestionsFor(Context& ctx, const std::string& url, const std::string& cookie,
                                            const std::string& ua) {
    SuggestResult r =
        suggestPlansFromUrl(gbk(url), gbk(cookie), gbk(ua), {},
                            [&ctx](const std::string& stage) { printLine(ctx.err, stage + gbk("…")); });
    if (!r.candidates.empty()) return r;
    printLine(ctx.err, gbk("没有找到可用的方案：") + r.problem);
    if (!r.fetchError.empty()) printLine(ctx.err, "fetch: " + r.fetchError);
    return std::nullopt;
}

// Saves a plan after a test on its page finds its articles, as the editor does. A page already
// fetched is tested as it came. A plan without a URL template takes its links from the
// expression's link group, written as the page's links need.
int saveTestedPlan(Context& ctx, Database& db, PlanFields f, bool force,
                   const std::optional<FetchResult>& page = std::nullopt) {
    const PlanTestInput input{f.regular, f.url, f.code == "1", f.before, f.after, f.cookie, f.ua};
    PlanTestResult tested =
        page ? runPlanTest(input, [&](const std::string&, const std::string&, const std::string&,
                                      const CancelCheck&) { return *page; })
             : runPlanTest(input);
    if (!tested.unlocksEditor && !force) {
        printLine(ctx.err, gbk("方案没有保存：规则测试没有取到文章。") + tested.message);
        if (!tested.fetchError.empty()) printLine(ctx.err, "fetch: " + tested.fetchError);
        if (tested.httpStatus < 400)
            ctx.err << "  check the markers and the expression with the options above, or add --force\n";
        return kFailed;
    }
    if (f.buquan.empty()) {
        const auto link = linkInExpression(f.regular);
        if (!link) {
            printLine(ctx.err, gbk("方案没有保存：没有 --url-template，正则里也没有取链接的分组（例如 "
                                   "href=\"([^\"]+)\"）。请加上这样的分组，或用 --url-template 写出文章地址，"
                                   "例如 http://站点/thread-[1].html"));
            return kUsage;
        }
        // The links as the page writes them decide how they are completed.
        std::vector<std::string> links;
        const std::string slot = "[" + std::to_string(link->group) + "]";
        for (const auto& r : tested.rows)
            links.push_back(gbkReplaceAll(link->pattern, slot, cellOf(r, link->group)));
        f.buquan = gbkReplaceAll(urlTemplateFor(f.url, links, link->group), slot, link->pattern);
        printLine(ctx.err, gbk("文章地址模板：") + f.buquan);
    }
    PlanRow row{};
    row[kRuleRegular] = f.regular;
    row[kRuleUrl] = f.url;
    row[kRuleCookie] = f.cookie;
    row[kRuleUa] = f.ua;
    row[kRuleTindex] = f.tindex;
    row[kRuleUindex] = f.uindex;
    row[kRuleType] = std::to_string(f.type);
    // --force passes over a test that found nothing, never over a plan that cannot run.
    if (std::string problem = planSaveProblem(row); !problem.empty()) {
        printLine(ctx.err, gbk("方案没有保存：") + problem);
        return kFailed;
    }
    PlanSaveResult saved = savePlan(db, f, 0);
    if (!saved.ok) {
        printLine(ctx.err, gbk("方案没有保存：") + saved.error);
        return kFailed;
    }
    printLine(ctx.out, gbk("新方案 ") + std::to_string(saved.id) + gbk(" 已保存：") + f.name +
                           (tested.unlocksEditor ? gbk("（") + tested.message + gbk("）") : std::string()));
    return kOk;
}

int addPlan(Context& ctx, const AddOptions& o) {
    if (o.suggest.empty() && (o.name.empty() || o.url.empty() || o.expr.empty())) {
        ctx.err << "plan add needs --name, --url and --expr (or --suggest URL)\n";
        return kUsage;
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    const auto categories = Settings(ctx.iniPath()).categories();
    PlanFields f;
    std::string error;
    std::optional<FetchResult> page;
    if (!o.suggest.empty()) {
        auto found = suggestionsFor(ctx, o.suggest, o.cookie, o.ua);
        if (!found) return kFailed;
        if (o.pick > static_cast<int>(found->candidates.size())) {
            ctx.err << "--pick: the page gave " << found->candidates.size() << " proposal(s), not " << o.pick
                    << "\n";
            return kUsage;
        }
        f = found->candidates[o.pick - 1].fields;
        f.cookie = gbk(o.cookie);
        f.ua = gbk(o.ua);
        if (!o.name.empty())
            f.name = gbk(o.name);
        else if (f.name.empty())  // a page without a title
            f.name = gbk(o.suggest);
    } else {
        f.name = gbk(o.name);
        f.url = gbk(o.url);
        f.regular = gbk(o.expr);
        f.before = gbk(o.before);
        f.after = gbk(o.after);
        f.cookie = gbk(o.cookie);
        f.ua = gbk(o.ua);
        f.buquan = gbk(o.urlTemplate);
        f.tindex = o.titleGroup;
        f.uindex = o.idGroup;
        f.oindex = o.otherGroup;
        auto mode = planFieldValue("mode", o.mode, categories, &error);
        if (!mode) {
            printLine(ctx.err, error);
            return kUsage;
        }
        f.type = static_cast<int>(TextToInt(std::get<std::string>(mode->value)));
        if (auto refused = refuseFetch(f.url, f.cookie, f.ua)) {
            printLine(ctx.err, gbk("方案没有保存：") + refused->message);
            return kFailed;
        }
        // The page is fetched once: for its encoding (unless given) and for the test.
        page = DirectHttpRequest(f.url, f.cookie, "User-Agent: " + f.ua);
        if (o.utf8 || o.gbkFlag) {
            f.code = o.utf8 ? "0" : "1";
        } else {
            const DetectedEncoding found = detectEncoding(page->body, page->contentType);
            f.code = found.gbk ? "1" : "0";
            ctx.err << "encoding: " << (found.gbk ? "gbk" : "utf8") << " (found by "
                    << terminalSafe(found.reason) << "; --gbk or --utf8 to choose)\n";
        }
    }
    if (!o.category.empty()) {
        auto cls = planFieldValue("category", gbk(o.category), categories, &error);
        if (!cls) {
            printLine(ctx.err, error);
            return kUsage;
        }
        f.classNumber = std::get<std::int64_t>(cls->value);
    }
    return saveTestedPlan(ctx, *db, f, o.force, page);
}

struct SuggestOptions {
    std::string url, format = "table", cookie, ua = kEditorDefaultUserAgent;
};

int suggest(Context& ctx, const SuggestOptions& o) {
    auto found = suggestionsFor(ctx, o.url, o.cookie, o.ua);
    if (!found)
        return o.format == "json" ? printJsonError(ctx.out, gbk("没有找到可用的方案"), kFailed) : kFailed;
    if (o.format == "json") {
        nlohmann::json list = nlohmann::json::array();
        int rank = 0;
        for (const PlanSuggestion& s : found->candidates) {
            const PlanFields& f = s.fields;
            nlohmann::json samples = nlohmann::json::array();
            for (const auto& t : s.sampleTitles) samples.push_back(gbkToUtf8(t));
            list.push_back({{"rank", ++rank},
                            {"structure", s.structure},
                            {"count", s.count},
                            {"sample_titles", samples},
                            {"plan",
                             {{"name", gbkToUtf8(f.name)},
                              {"code", f.code},
                              {"encoding", f.code == "1" ? "gbk" : "utf8"},
                              {"url", gbkToUtf8(f.url)},
                              {"cookie", gbkToUtf8(f.cookie)},
                              {"ua", gbkToUtf8(f.ua)},
                              {"before", gbkToUtf8(f.before)},
                              {"after", gbkToUtf8(f.after)},
                              {"regular", gbkToUtf8(f.regular)},
                              {"buquan", gbkToUtf8(f.buquan)},
                              {"tindex", f.tindex},
                              {"uindex", f.uindex},
                              {"oindex", f.oindex},
                              {"type", f.type},
                              {"mode", modeName(judgeModeFromText(std::to_string(f.type)))}}}});
        }
        nlohmann::json out = {{"encoding_found_by", found->encodingReason}, {"candidates", list}};
        printJson(ctx.out, out);
        return kOk;
    }
    ctx.out << "encoding found by " << terminalSafe(found->encodingReason) << "\n";
    int rank = 0;
    for (const PlanSuggestion& s : found->candidates) {
        const PlanFields& f = s.fields;
        std::string samples;
        for (const auto& t : s.sampleTitles) samples += (samples.empty() ? "" : " | ") + t;
        ++rank;
        ctx.out << "\n"
                << rank << ". " << s.structure << ": " << s.count << " articles"
                << (rank == 1 ? " (best; plan add --suggest URL saves it)" : "") << "\n";
        printTable(ctx.out, {"field", "value"},
                   {{"name", f.name},
                    {"encoding", f.code == "1" ? "gbk" : "utf8"},
                    {"before", f.before},
                    {"after", f.after},
                    {"expr", f.regular},
                    {"mode", modeName(judgeModeFromText(std::to_string(f.type)))},
                    {"title-group", f.tindex},
                    {"id-group", f.uindex},
                    {"other-group", f.oindex},
                    {"template", f.buquan},
                    {"first titles", samples}});
    }
    return kOk;
}

int showPlan(Context& ctx, std::int64_t id) {
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    const auto row = planRow(*db, id);
    const auto categories = Settings(ctx.iniPath()).categories();
    std::vector<std::vector<std::string>> fields = {
        {"id", cellOf(row, kRuleId)},
        {"name", cellOf(row, kRuleName)},
        {"category", categoryOf(row, categories)},
        {"ticked", TextToInt(cellOf(row, kRuleIsdo)) == 1 ? "yes" : "no"},
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
        {"last article", cellOf(row, kRuleArttile)},
        {"last id", cellOf(row, kRuleLastid)},
        {"last run", cellOf(row, kRuleLasttime)},
        {"own-certificate", acceptsOwnCertificate(*db, static_cast<int>(id)) ? "yes" : "no"},
    };
    if (auto h = loadPlanHealth(*db, static_cast<int>(id))) {
        fields.push_back({"last outcome", h->outcome});
        fields.push_back({"failures", std::to_string(h->failures)});
    }
    printTable(ctx.out, {"field", "value"}, fields);
    return kOk;
}

int setField(Context& ctx, std::int64_t id, const std::string& field, const std::string& value) {
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    if (field == "own-certificate") {
        if (value != "yes" && value != "no") {
            ctx.err << "own-certificate is yes or no, not " << terminalSafe(value) << "\n";
            return kUsage;
        }
        if (!setAcceptsOwnCertificate(*db, static_cast<int>(id), value == "yes")) {
            printLine(ctx.err, gbk("没有保存：") + db->lastError());
            return kFailed;
        }
        return kOk;
    }
    std::string error;
    auto change = planFieldValue(field, gbk(value), Settings(ctx.iniPath()).categories(), &error);
    if (!change) {
        printLine(ctx.err, error);
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
    if (std::string problem = planSaveProblem(changed); !problem.empty()) {
        printLine(ctx.err, gbk("没有修改：") + problem);
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
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, id)) return kUsage;
    SqlResult r = deletePlan(*db, id);
    if (!r.ok) printLine(ctx.err, r.error);
    return r.ok ? kOk : kFailed;
}

int exportPlans(Context& ctx, const std::vector<std::int64_t>& ids) {
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    std::vector<std::vector<std::string>> rows;
    if (ids.empty()) rows = db->run("select * from rule order by id").rows;
    for (std::int64_t id : ids) {
        if (!existingPlan(ctx, *db, id)) return kUsage;
        rows.push_back(planRow(*db, id));
    }
    // Meant for a file, to be imported again: written as it is (UTF-8), not made safe for display.
    std::string text = gbkToUtf8(exportPlansSql(rows, /*keepTicks=*/true));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    ctx.out << text;
    return kOk;
}

int importPlans(Context& ctx, const std::string& file, bool duplicates) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        ctx.err << "plan import: cannot read " << terminalSafe(file) << "\n";
        return kFailed;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    ImportResult r = importPlans(*db, gbk(ss.str()), duplicates);
    if (!r.ok) {
        printLine(ctx.err, gbk("导入失败，没有导入任何方案：") + r.error);
        return kFailed;
    }
    for (const std::string& name : r.skipped)
        printLine(ctx.err, gbk("已有同名同网址的方案，跳过：") + name + " (--duplicate imports it again)");
    std::string ids;
    for (int id : r.ids) ids += (ids.empty() ? " (" : ", ") + std::to_string(id);
    ctx.out << r.ids.size() << " plan(s) imported" << (ids.empty() ? "" : ids + ")") << "\n";
    return kOk;
}

struct RulesOptions {
    std::int64_t plan = 0;
    std::optional<std::string> include, exclude, action;
};

int setRules(Context& ctx, const RulesOptions& o) {
    auto db = openProgramDatabase(ctx);
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
    if (!saveTitleRules(*db, id, rules)) {
        printLine(ctx.err, gbk("保存失败，请重试！") + db->lastError());
        return kFailed;
    }
    return kOk;
}

int showRules(Context& ctx, std::int64_t plan) {
    auto db = openProgramDatabase(ctx);
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
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    if (plan && !existingPlan(ctx, *db, plan)) return kUsage;
    return clearTitleRules(*db, static_cast<int>(plan)) ? kOk : kFailed;
}

}  // namespace

void addPlanCommands(CLI::App& app, Action& chosen) {
    auto format = std::make_shared<std::string>("table");
    auto* list =
        app.add_subcommand("plans", "the plans: id, category, name, ticked, url, last run and outcome");
    list->add_option("--format", *format, "table (default), tsv or json")
        ->check(CLI::IsMember({"table", "tsv", "json"}));
    list->callback([&chosen, format] { chosen = [format](Context& ctx) { return plans(ctx, *format); }; });

    auto* plan =
        app.add_subcommand("plan", "add, suggest, show, change, tick, remove, export and import plans");
    plan->require_subcommand(1);

    auto a = std::make_shared<AddOptions>();
    auto* add =
        plan->add_subcommand("add", "add a plan; it is tested on its page first (as the editor does)");
    add->add_option("--name", a->name, "the plan's name (with --suggest: the page's title)");
    auto* suggestOption = add->add_option("--suggest", a->suggest,
                                          "a list page: save the plan proposed for it (see plan suggest)");
    add->add_option("--pick", a->pick, "with --suggest: the proposal to save (default 1, the best)")
        ->check(wholeNumber(1))
        ->needs(suggestOption);
    auto* urlOption = add->add_option("--url", a->url, "the list page (http or https)");
    auto* exprOption =
        add->add_option("--expr", a->expr, "the regular expression (Perl syntax, case-insensitive)");
    suggestOption->excludes(urlOption)->excludes(exprOption);
    add->add_option("--before", a->before,
                    "start marker of the region (default <html; #引号 for a double quote)");
    add->add_option("--after", a->after, "end marker of the region (default </html>)");
    auto* gbkOption =
        add->add_flag("--gbk", a->gbkFlag, "the page is GBK (default: as the page says or reads)");
    add->add_flag("--utf8", a->utf8, "the page is UTF-8")->excludes(gbkOption);
    add->add_option("--mode", a->mode,
                    "desc: newest at the top (default); asc: at the bottom; id: rising ids")
        ->check(CLI::IsMember({"desc", "asc", "id"}));
    add->add_option("--title-group", a->titleGroup, "group of the title (default: the whole match)")
        ->check(wholeNumber(0));
    add->add_option("--id-group", a->idGroup, "group of the article id (mode id; default 1)")
        ->check(wholeNumber(0));
    add->add_option("--other-group", a->otherGroup, "group of the spare field")->check(wholeNumber(0));
    add->add_option("--url-template", a->urlTemplate,
                    "the article link, [n] is group n (default: the group after href= in --expr)");
    add->add_option("--category", a->category, "a category of 类别 (default: the first)");
    add->add_option("--cookie", a->cookie, "cookie sent with the request");
    add->add_option("--ua", a->ua, "user agent sent with the request");
    add->add_flag("--force", a->force, "save even when the test finds no article");
    add->callback([&chosen, a] { chosen = [a](Context& ctx) { return addPlan(ctx, *a); }; });

    auto so = std::make_shared<SuggestOptions>();
    auto* suggestCommand = plan->add_subcommand(
        "suggest", "find the list of articles on a page and propose plans for it, each tested on the page");
    suggestCommand->add_option("url", so->url, "a forum board, news column or feed (http or https)")
        ->required();
    suggestCommand->add_option("--format", so->format, "table (default) or json")
        ->check(CLI::IsMember({"table", "json"}));
    suggestCommand->add_option("--cookie", so->cookie, "cookie sent with the request");
    suggestCommand->add_option("--ua", so->ua, "user agent sent with the request");
    suggestCommand->callback([&chosen, so] { chosen = [so](Context& ctx) { return suggest(ctx, *so); }; });

    auto id = std::make_shared<std::int64_t>(0);
    auto field = std::make_shared<std::string>(), value = std::make_shared<std::string>();
    auto* show = plan->add_subcommand("show", "every field of a plan");
    show->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
    show->callback([&chosen, id] { chosen = [id](Context& ctx) { return showPlan(ctx, *id); }; });

    auto* set = plan->add_subcommand("set", "change one field of a plan");
    set->add_option("id", *id, "the plan (1..200)")->required()->check(planIdRange());
    std::vector<std::string> names = planFieldNames();
    names.push_back("own-certificate");
    std::string fields;
    for (const auto& n : names) fields += (fields.empty() ? "" : ", ") + n;
    set->add_option("field", *field, fields + " (own-certificate yes: accept the site's own certificate)")
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
