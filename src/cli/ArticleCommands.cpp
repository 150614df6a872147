// articles, favourite, feed: reading what was captured.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Feeds.h"
#include "cli/Terminal.h"
#include "core/articles/ArticleList.h"
#include "core/plans/PlanRows.h"
#include "core/store/AtomicFile.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {
namespace {

struct ViewOptions {
    std::int64_t plan = 0;
    bool favourites = false;
    std::string search;
    ArticleView view() const {
        if (plan) return ArticleView::plan(plan);
        if (favourites) return ArticleView::favourites();
        if (!search.empty()) return ArticleView::search(gbk(search));
        return ArticleView::all();
    }
};

void addViewOptions(CLI::App* command, ViewOptions& v) {
    auto* plan = command->add_option("--plan", v.plan, "one plan's articles (1..200)")->check(planIdRange());
    auto* favourites = command->add_flag("--favourites", v.favourites, "the favourite articles");
    auto* search = command->add_option("--search", v.search, "the articles whose title holds the text");
    plan->excludes(favourites)->excludes(search);
    favourites->excludes(search);
}

// A cell as people read it: the title with its references resolved, the link a browser follows.
std::string shownCell(const ArticleRow& row, int k) {
    if (k == kInfoTitle) return decodeEntities(cellOf(row, k));
    if (k == kInfoUrl) return browserLink(cellOf(row, k));
    return cellOf(row, k);
}

int articles(Context& ctx, const ViewOptions& v, std::int64_t page, const std::string& format) {
    Database* db = ctx.database();
    if (!db) return format == "json" ? printJsonError(ctx.out, gbk("数据库打开失败"), kFailed) : kFailed;
    if (v.plan && !existingPlan(ctx, *db, v.plan))
        return format == "json"
                   ? printJsonError(ctx.out, gbk("没有这个方案：") + std::to_string(v.plan), kUsage)
                   : kUsage;
    auto rows = loadArticlePage(*db, v.view(), page);
    // The list's columns: id, site, title, link, time, favourite, spare.
    const int order[] = {kInfoId,      kInfoPlanname,  kInfoTitle, kInfoUrl,
                         kInfoAddtime, kInfoIssoucang, kInfoOther};
    const std::vector<std::string> header = {"id",      "planname",  "title", "url",
                                             "addtime", "issoucang", "other"};
    if (format == "json") {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rows) {
            // The same fields as the table, numbers as numbers, the title as people read it.
            nlohmann::json item;
            for (std::size_t k = 0; k < header.size(); ++k) {
                const std::string& cell = cellOf(row, order[k]);
                if (order[k] == kInfoId || order[k] == kInfoIssoucang)
                    item[header[k]] = textToInt(cell);
                else
                    item[header[k]] = gbkToUtf8(shownCell(row, order[k]));
            }
            list.push_back(std::move(item));
        }
        // Control characters come out as \\u escapes; nothing reaches the terminal raw.
        printJson(ctx.out, list);
        return kOk;
    }
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows) {
        std::vector<std::string> s;
        for (int k : order) s.push_back(shownCell(row, k));
        shown.push_back(std::move(s));
    }
    if (format == "tsv") {
        printTsv(ctx.out, header, shown);
        return kOk;
    }
    printTable(ctx.out, header, shown);
    printLine(ctx.out, gbk("第 ") + std::to_string(page) + gbk(" 页，") + std::to_string(rows.size()) +
                           gbk(" 篇文章"));
    return kOk;
}

int favourite(Context& ctx, std::int64_t articleId, const std::string& mark) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    const std::optional<bool> found = articleExists(*db, articleId);
    if (!found) {
        printLine(ctx.err, db->lastError());
        return kFailed;
    }
    if (!*found) {
        printLine(ctx.err, gbk("没有编号为 ") + std::to_string(articleId) + gbk(" 的文章"));
        return kUsage;
    }
    NullStatusSink quiet;
    LoggedSql sql(*db, quiet);
    if (Result<> marked = setFavourite(sql, articleId, mark == "on"); !marked) {
        printLine(ctx.err, gbk("SQL出错：") + marked.error());
        return kFailed;
    }
    printLine(ctx.out, gbk("SQL成功！"));
    return kOk;
}

int feed(Context& ctx, const ViewOptions& v, int limit, const std::string& out) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (v.plan && !existingPlan(ctx, *db, v.plan)) return kUsage;
    const std::string xml = feedOf(*db, v.view(), limit);
    if (out.empty()) {
        ctx.out << xml;
        return kOk;
    }
    if (Result<> written = replaceFileAtomically(out, xml); !written) {
        printLine(ctx.err, gbk("订阅源写入失败：") + written.error());
        return kFailed;
    }
    return kOk;
}

}  // namespace

void addArticleCommands(CLI::App& app, Action& chosen) {
    struct Options {
        ViewOptions view;
        std::int64_t page = 1;
        std::string format = "table";
        std::int64_t article = 0;
        std::string mark;
        int limit = 100;
        std::string out;
    };
    auto o = std::make_shared<Options>();

    auto* list = app.add_subcommand("articles", "the captured articles, 100 a page, newest first");
    addViewOptions(list, o->view);
    list->add_option("--page", o->page, "the page, 1..N (default 1)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::int64_t page = 0;
                if (!CLI::detail::lexical_cast(text, page) || page < 1)
                    return "pages go from 1 to N, not " + text;
                return {};
            },
            "1..N", "page"));
    list->add_option("--format", o->format, "table (default), tsv or json")
        ->check(CLI::IsMember({"table", "tsv", "json"}));
    list->callback(
        [&chosen, o] { chosen = [o](Context& ctx) { return articles(ctx, o->view, o->page, o->format); }; });

    auto* fav = app.add_subcommand("favourite", "mark or unmark an article as a favourite");
    fav->add_option("article", o->article, "the article's id")->required()->check(wholeNumber(1));
    fav->add_option("mark", o->mark, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    fav->callback(
        [&chosen, o] { chosen = [o](Context& ctx) { return favourite(ctx, o->article, o->mark); }; });

    auto* feedCommand = app.add_subcommand("feed", "the newest articles as an Atom 1.0 feed (UTF-8)");
    addViewOptions(feedCommand, o->view);
    feedCommand->add_option("--limit", o->limit, "entries, 1..1000 (default 100)")
        ->check(CLI::Range(1, 1000));
    feedCommand->add_option("--out", o->out,
                            "write the feed to this file (replaced at once) instead of the output");
    feedCommand->callback(
        [&chosen, o] { chosen = [o](Context& ctx) { return feed(ctx, o->view, o->limit, o->out); }; });
}

}  // namespace tovi::cli
