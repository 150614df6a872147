// plan add, plan suggest: new plans, written by hand or proposed from a page, tested first.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanRunner.h"
#include "core/monitor/PlanTestRun.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/Renderer.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanFields.h"
#include "core/plans/PlanTable.h"
#include "core/settings/Settings.h"
#include "core/net/Encoding.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {
namespace {

struct AddOptions {
    std::string name, url, expr, before = "<html", after = "</html>", mode = "desc", category, cookie;
    std::string ua = kEditorDefaultUserAgent, urlTemplate;
    std::string titleGroup, idGroup = "1", otherGroup;
    std::string suggest;
    int pick = 1;
    bool utf8 = false, gbkFlag = false, force = false, render = false;
};

// The page as the browser builds it, for a plan that renders; nothing (the reason printed) when
// no browser is installed.
std::optional<FetchResult> renderedForTest(Context& ctx, const PlanFields& f) {
    if (const std::string missing = browserMissing(); !missing.empty()) {
        printLine(ctx.err, gbk("方案没有保存：") + missing);
        return std::nullopt;
    }
    printLine(ctx.err, gbk("正在用浏览器渲染页面：") + f.url + gbk("…"));
    Renderer renderer;
    return renderer.render({f.url, f.cookie, f.ua}).page;
}

// Proposals for a page; prints the reason and returns nothing when there are none.
std::optional<SuggestResult> suggestionsFor(Context& ctx, const std::string& url, const std::string& cookie,
                                            const std::string& ua) {
    SuggestResult r =
        suggestPlansFromUrl(gbk(url), gbk(cookie), gbk(ua), {},
                            [&ctx](const std::string& stage) { printLine(ctx.err, stage + gbk("…")); });
    if (!r.note.empty()) printLine(ctx.err, r.note);
    if (!r.candidates.empty()) return r;
    printLine(ctx.err, gbk("没有找到可用的方案：") + r.problem);
    if (!r.fetchError.empty()) printLine(ctx.err, gbk("获取失败：") + r.fetchError);
    return std::nullopt;
}

// Saves a plan after a test on its page finds its articles, as the editor does. A page already
// fetched is tested as it came. A plan without a URL template takes its links from the
// expression's link group, written as the page's links need.
int saveTestedPlan(Context& ctx, Database& db, PlanFields f, bool force,
                   std::optional<FetchResult> page = std::nullopt) {
    // A plan whose page a browser builds is tested on what the browser shows.
    if (f.render && !page) {
        page = renderedForTest(ctx, f);
        if (!page) return kFailed;
    }
    // An expression that does not compile is a wrong argument, not a page without articles.
    if (const Expression rx = Expression::compile(f.regular); !rx.ok()) {
        printLine(ctx.err, gbk("方案没有保存：正则匹配规则有误：") + rx.error());
        return kUsage;
    }
    const PlanTestInput input{f.regular, f.url, f.code == "1", f.before, f.after, f.cookie, f.ua};
    PlanTestResult tested =
        page ? runPlanTest(input, [&](const std::string&, const std::string&, const std::string&,
                                      const CancelCheck&) { return *page; })
             : runPlanTest(input);
    if (!tested.unlocksEditor && !force) {
        printLine(ctx.err, gbk("方案没有保存：规则测试没有取到文章。") + tested.message);
        if (!tested.fetchError.empty()) printLine(ctx.err, gbk("获取失败：") + tested.fetchError);
        if (tested.httpStatus < 400)
            printLine(ctx.err, gbk("  请用上面的选项检查采集区域和正则，或加 --force"));
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
    // The first articles as they would be stored, and what looks wrong in any of them.
    const std::vector<TestedArticle> articles =
        testedArticles(tested, textToInt(f.tindex), textToInt(f.uindex), f.buquan);
    for (std::size_t k = 0; k < articles.size() && k < 3; ++k)
        printLine(ctx.err, "  " + decodeEntities(articles[k].title) + " | " + articles[k].id + " | " +
                               browserLink(articles[k].url));
    const std::vector<std::string> warnings = articleWarnings(articles);
    for (const std::string& w : warnings)
        printLine(ctx.err, gbk("注意：") + std::to_string(articles.size()) + gbk(" 篇中有 ") + w);
    if (!warnings.empty() && !force) {
        printLine(ctx.err, gbk("方案没有保存：取到的不像文章列表，请检查正则和分组；确实要保存请加 --force"));
        return kFailed;
    }
    const std::vector<std::string> cells = ruleRowOf(f);
    PlanRow row{};
    std::copy(cells.begin(), cells.end(), row.begin());
    // --force passes over a test that found nothing, never over a plan that cannot run.
    if (Result<> savable = checkPlanSavable(row); !savable) {
        printLine(ctx.err, gbk("方案没有保存：") + savable.error());
        return kFailed;
    }
    Result<SavedPlan> saved = savePlan(db, f, 0);
    if (!saved) {
        printLine(ctx.err, gbk("方案没有保存：") + saved.error());
        return kFailed;
    }
    printLine(ctx.out, gbk("新方案 ") + std::to_string(saved->id) + gbk(" 已保存：") + f.name +
                           (tested.unlocksEditor ? gbk("（") + tested.message + gbk("）") : std::string()));
    printLine(ctx.err, gbk("新方案没有勾选：tovidesk-cli plan tick ") + std::to_string(saved->id) +
                           gbk(" 后，run 和监控会运行它"));
    return kOk;
}

int addPlan(Context& ctx, const AddOptions& o) {
    if (o.suggest.empty() && (o.name.empty() || o.url.empty() || o.expr.empty())) {
        printLine(ctx.err, gbk("plan add 需要 --name、--url 和 --expr（或 --suggest 网址）"));
        return kUsage;
    }
    Database* db = ctx.database();
    if (!db) return kFailed;
    const auto categories = Settings(ctx.iniPath()).categories();
    PlanFields f;
    std::optional<FetchResult> page;
    if (!o.suggest.empty()) {
        auto found = suggestionsFor(ctx, o.suggest, o.cookie, o.ua);
        if (!found) return kFailed;
        if (o.pick > static_cast<int>(found->candidates.size())) {
            printLine(ctx.err, gbk("--pick：页面只给出 ") + std::to_string(found->candidates.size()) +
                                   gbk(" 个方案，没有第 ") + std::to_string(o.pick) + gbk(" 个"));
            return kUsage;
        }
        const PlanSuggestion& picked = found->candidates[o.pick - 1];
        // A menu, a footer or an ad box saved as "the articles" would store its entries once and
        // then nothing, for ever: such a proposal is saved only when the user insists.
        if (!picked.doubt.empty()) {
            printLine(ctx.err, gbk("注意：") + picked.doubt);
            if (!o.force) {
                printLine(ctx.err,
                          gbk("方案没有保存：页面上最像文章列表的也不像文章列表；确实要保存请加 --force"));
                return kFailed;
            }
        }
        f = picked.fields;
        f.cookie = gbk(o.cookie);
        f.ua = gbk(o.ua);
        if (!o.name.empty())
            f.name = gbk(o.name);
        else if (f.name.empty())  // a page without a title
            f.name = gbk(o.suggest);
    } else {
        f.name = gbk(o.name);
        f.url = gbk(o.url);
        if (auto url = planFieldValue("url", f.url, categories); !url) {
            printLine(ctx.err, url.error());
            return kUsage;
        }
        f.regular = gbk(o.expr);
        f.before = gbk(o.before);
        f.after = gbk(o.after);
        f.cookie = gbk(o.cookie);
        f.ua = gbk(o.ua);
        f.buquan = gbk(o.urlTemplate);
        f.browserLinks = true;  // a new plan stores the links a browser follows
        f.tindex = o.titleGroup;
        f.uindex = o.idGroup;
        f.oindex = o.otherGroup;
        auto mode = planFieldValue("mode", o.mode, categories);
        if (!mode) {
            printLine(ctx.err, mode.error());
            return kUsage;
        }
        f.type = static_cast<int>(textToInt(std::get<std::string>(mode->value)));
        if (auto refused = refuseFetch(f.url, f.cookie, f.ua)) {
            printLine(ctx.err, gbk("方案没有保存：") + refused->message);
            return kFailed;
        }
        // The page is fetched once: for its encoding (unless given) and for the test.
        f.render = o.render;
        page = f.render ? renderedForTest(ctx, f) : fetchForTest(f.url, f.cookie, "User-Agent: " + f.ua);
        if (!page) return kFailed;
        if (o.utf8 || o.gbkFlag) {
            f.code = o.utf8 ? "0" : "1";
        } else {
            const DetectedEncoding found = detectEncoding(page->body, page->contentType);
            f.code = found.gbk ? "1" : "0";
            printLine(ctx.err, gbk("编码：") + (found.gbk ? "gbk" : "utf8") + gbk("（依据 ") + found.reason +
                                   gbk("；可用 --gbk 或 --utf8 指定）"));
        }
    }
    if (!o.category.empty()) {
        auto cls = planFieldValue("category", gbk(o.category), categories);
        if (!cls) {
            printLine(ctx.err, cls.error());
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
                            {"doubt", gbkToUtf8(s.doubt)},
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
                              {"links", f.browserLinks ? "browser" : "template"},
                              {"render", f.render},
                              {"mode", modeName(judgeModeFromText(std::to_string(f.type)))}}}});
        }
        nlohmann::json out = {{"encoding_found_by", found->encodingReason},
                              {"note", gbkToUtf8(found->note)},
                              {"candidates", list}};
        printJson(ctx.out, out);
        return kOk;
    }
    printLine(ctx.out, gbk("编码依据：") + found->encodingReason);
    int rank = 0;
    for (const PlanSuggestion& s : found->candidates) {
        const PlanFields& f = s.fields;
        std::string samples;
        for (const auto& t : s.sampleTitles) samples += (samples.empty() ? "" : " | ") + t;
        ++rank;
        ctx.out << "\n"
                << rank << ". " << s.structure << ": " << s.count << " articles"
                << (rank == 1 ? " (best; plan add --suggest URL saves it)" : "") << "\n";
        if (!s.doubt.empty()) printLine(ctx.out, gbk("注意：") + s.doubt);
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
                    {"links", f.browserLinks ? "browser" : "template"},
                    {"render", f.render ? "yes" : "no"},
                    {"first titles", samples}});
    }
    return kOk;
}

}  // namespace

void addPlanAddCommands(CLI::App* plan, Action& chosen) {
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
    add->add_flag("--render", a->render, "load the page in a browser first (a page its scripts build)");
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
    add->add_flag("--force", a->force,
                  "save even when the test finds no article, or when the proposal looks like a menu or ads");
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
}

}  // namespace tovi::cli
