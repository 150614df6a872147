#include <algorithm>
#include <atomic>
#include <csignal>
#include <iostream>
#include <set>
#include <thread>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/articles/ArticleList.h"
#include "core/monitor/Monitoring.h"
#include "core/monitor/PlanTestRun.h"
#include "core/settings/Settings.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void onInterrupt(int) { g_interrupted = 1; }

// Parses a whole decimal number; nullopt for anything else.
std::optional<std::int64_t> number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return std::nullopt;
    return std::stoll(text);
}

class TerminalAlertSink final : public AlertSink {
public:
    explicit TerminalAlertSink(std::ostream& err) : m_err(err) {}
    void playSound() override {}
    void showAlertIcon() override { printLine(m_err, gbk("[提醒] 有新的消息！")); }
    void showNormalIcon() override {}

private:
    std::ostream& m_err;
};

class CycleCounter final : public MonitorListener {
public:
    void cycleFinished(bool) override { ++cycles; }
    void queueEmpty(RunMode) override { empty = true; }
    void planFinished(int, const PlanRunOutcome& outcome) override {
        if (outcome.kind == PlanRunOutcome::Kind::StoreFailed) storeFailed = true;
    }
    std::atomic<int> cycles{0};
    std::atomic<bool> empty{false};
    std::atomic<bool> storeFailed{false};
};

}  // namespace

int commandRun(Context& ctx) {
    std::vector<std::int64_t> planIds;
    std::int64_t cycles = 1;
    std::optional<std::int64_t> every, pauseMs, parallel;
    for (std::size_t i = 0; i < ctx.args.size(); ++i) {
        const std::string& a = ctx.args[i];
        std::optional<std::int64_t> value = i + 1 < ctx.args.size() ? number(ctx.args[i + 1]) : std::nullopt;
        if ((a == "--plan" || a == "--cycles" || a == "--every" || a == "--pause-ms" || a == "--parallel") &&
            !value) {
            ctx.err << "run: " << a << " needs a whole number\n";
            return kUsage;
        }
        if (a == "--plan")
            planIds.push_back(*value);
        else if (a == "--cycles")
            cycles = *value;
        else if (a == "--every")
            every = *value;
        else if (a == "--pause-ms")
            pauseMs = *value;
        else if (a == "--parallel")
            parallel = *value;
        else {
            ctx.err << "run: unknown argument " << a << "\n";
            return kUsage;
        }
        ++i;
    }
    if (cycles < 1) {
        ctx.err << "run: --cycles must be at least 1\n";
        return kUsage;
    }
    Settings settings(ctx.iniPath());
    std::int64_t frequency = every ? *every : TextToInt(settings.read(SettingKey::frequency()));
    if (cycles > 1 && !checkFrequency(std::to_string(frequency))) {
        printLine(ctx.err, gbk("监控频率不能低于 10 秒") + " (--every, or 频率 in tovimo.ini)");
        return kUsage;
    }

    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    SqlResult rules = db->run("select * from rule");
    std::set<std::int64_t> known;
    std::vector<int> defaults;
    for (const auto& row : rules.rows) {
        std::int64_t id = TextToInt(cellOf(row, kRuleId));
        known.insert(id);
        if (TextToInt(cellOf(row, kRuleIsdo)) == 1 && PlanTable::isValidId(id))
            defaults.push_back(static_cast<int>(id));
    }
    std::vector<int> queue;
    for (std::int64_t id : planIds) {
        if (!known.count(id) || !PlanTable::isValidId(id)) {
            ctx.err << "run: there is no plan " << id << " (see: tovidesk-cli plans)\n";
            return kUsage;
        }
        queue.push_back(static_cast<int>(id));
    }
    if (planIds.empty()) queue = defaults;

    TerminalStatusSink sink(ctx.out);
    TerminalAlertSink alertSink(ctx.err);
    CycleCounter counter;
    Monitoring monitoring(*db, sink, alertSink, &counter);
    monitoring.applySettings(settings);
    monitoring.planTable().fill(rules, &sink);
    if (pauseMs) monitoring.extractor().setArticlePause(std::chrono::milliseconds(*pauseMs));
    if (parallel)
        monitoring.engine().setParallel(static_cast<int>(std::clamp<std::int64_t>(*parallel, 1, 64)));

    g_interrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    MonitorEngine& engine = monitoring.engine();
    if (cycles == 1)
        engine.startOneShot(queue, RunMode::RunAll);
    else
        engine.startPeriodic(queue, cyclePause(frequency));
    while (!engine.waitAll(std::chrono::milliseconds(50))) {
        if (g_interrupted || counter.cycles >= cycles) engine.requestStopAll();
    }
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, SIG_DFL);
    ctx.out << "\n";
    if (counter.empty)
        printLine(ctx.err, gbk("执行队列为空！") + " (tick plans with isdo=1 or give --plan ID)");
    if (g_interrupted) ctx.err << "stopped\n";
    if (counter.storeFailed) {
        ctx.err << "run: the articles of at least one plan could not be stored (see the status lines)\n";
        return kFailed;
    }
    return kOk;
}

int commandArticles(Context& ctx) {
    ArticleView view = ArticleView::all();
    std::int64_t page = 1;
    std::string format = "table";
    for (std::size_t i = 0; i < ctx.args.size(); ++i) {
        const std::string& a = ctx.args[i];
        bool hasValue = i + 1 < ctx.args.size();
        if (a == "--favourites") {
            view = ArticleView::favourites();
        } else if (a == "--plan" && hasValue && number(ctx.args[i + 1])) {
            view = ArticleView::plan(*number(ctx.args[++i]));
        } else if (a == "--search" && hasValue) {
            view = ArticleView::search(gbk(ctx.args[++i]));
        } else if (a == "--page" && hasValue && number(ctx.args[i + 1]) && *number(ctx.args[i + 1]) >= 1) {
            page = *number(ctx.args[++i]);
        } else if (a == "--format" && hasValue &&
                   (ctx.args[i + 1] == "tsv" || ctx.args[i + 1] == "json" || ctx.args[i + 1] == "table")) {
            format = ctx.args[++i];
        } else {
            ctx.err << "articles: unexpected argument " << a
                    << "\n  use: articles [--plan ID | --favourites | --search TEXT] [--page N] [--format "
                       "table|tsv|json]\n";
            return kUsage;
        }
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    auto rows = loadArticlePage(*db, view, page);
    // The list's columns: id, site, title, link, time, favourite, spare.
    const int order[] = {kInfoId,      kInfoPlanname,  kInfoTitle, kInfoUrl,
                         kInfoAddtime, kInfoIssoucang, kInfoOther};
    const std::vector<std::string> header = {"id",      "planname",  "title", "url",
                                             "addtime", "issoucang", "other"};
    if (format == "json") {
        auto escape = [](const std::string& utf8) {
            std::string o;
            for (unsigned char c : utf8) {
                if (c == '"' || c == '\\') {
                    o += '\\';
                    o += static_cast<char>(c);
                } else if (c == '\n')
                    o += "\\n";
                else if (c == '\r')
                    o += "\\r";
                else if (c == '\t')
                    o += "\\t";
                else if (c < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", c);
                    o += b;
                } else
                    o += static_cast<char>(c);
            }
            return o;
        };
        ctx.out << "[";
        for (std::size_t r = 0; r < rows.size(); ++r) {
            ctx.out << (r ? ",\n " : "\n ") << "{";
            for (std::size_t k = 0; k < header.size(); ++k)
                ctx.out << (k ? ", " : "") << "\"" << header[k] << "\": \""
                        << escape(gbkToUtf8(cellOf(rows[r], order[k]))) << "\"";
            ctx.out << "}";
        }
        ctx.out << (rows.empty() ? "]\n" : "\n]\n");
        return kOk;
    }
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows) {
        std::vector<std::string> s;
        for (int k : order) s.push_back(cellOf(row, k));
        shown.push_back(std::move(s));
    }
    if (format == "tsv") {
        auto flat = [](std::string s) {
            for (char& c : s)
                if (c == '\t' || c == '\n' || c == '\r') c = ' ';
            return s;
        };
        std::string line;
        for (std::size_t k = 0; k < header.size(); ++k) line += (k ? "\t" : "") + header[k];
        printLine(ctx.out, line);
        for (const auto& s : shown) {
            line.clear();
            for (std::size_t k = 0; k < s.size(); ++k) line += (k ? "\t" : "") + flat(s[k]);
            printLine(ctx.out, line);
        }
        return kOk;
    }
    printTable(ctx.out, header, shown);
    ctx.out << "page " << page << ", " << rows.size() << " article(s)\n";
    return kOk;
}

int commandPlans(Context& ctx) {
    if (!ctx.args.empty()) {
        ctx.err << "plans: takes no arguments\n";
        return kUsage;
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    Settings settings(ctx.iniPath());
    auto categories = settings.categories();
    SqlResult rules = db->run("select * from rule");
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : rules.rows) {
        auto cls = TextToInt(cellOf(row, kRuleClass));
        std::string category = cls >= 1 && cls <= static_cast<std::int64_t>(categories.size())
                                   ? categories[cls - 1]
                                   : "(" + cellOf(row, kRuleClass) + ")";
        rows.push_back({cellOf(row, kRuleId), category, cellOf(row, kRuleName),
                        TextToInt(cellOf(row, kRuleIsdo)) == 1 ? "yes" : "no", cellOf(row, kRuleUrl),
                        cellOf(row, kRuleLasttime)});
    }
    printTable(ctx.out, {"id", "category", "name", "ticked", "url", "last run"}, rows);
    return kOk;
}

int commandTest(Context& ctx) {
    if (ctx.args.size() != 2 || ctx.args[0] != "--plan" || !number(ctx.args[1])) {
        ctx.err << "test: use 'test --plan ID'\n";
        return kUsage;
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    SqlResult r = db->run(Statement("select * from rule where id=?", {*number(ctx.args[1])}));
    if (r.rows.empty()) {
        ctx.err << "test: there is no plan " << ctx.args[1] << "\n";
        return kUsage;
    }
    const auto& row = r.rows[0];
    PlanTestInput input{cellOf(row, kRuleRegular), cellOf(row, kRuleUrl),   cellOf(row, kRuleCode) == "1",
                        cellOf(row, kRuleBefore),  cellOf(row, kRuleAfter), cellOf(row, kRuleCookie),
                        cellOf(row, kRuleUa)};
    PlanTestResult result = runPlanTest(input);
    if (result.cutShown) {
        printLine(ctx.out, gbk("== 截取的源码 =="));
        printLine(ctx.out, result.cutText);
    }
    if (!result.fetchError.empty()) ctx.err << "fetch: " << result.fetchError << "\n";
    if (!result.rows.empty()) {
        printLine(ctx.out, gbk("== 匹配结果 =="));
        printTable(ctx.out, result.columns, result.rows);
    }
    if (!result.message.empty()) printLine(result.unlocksEditor ? ctx.out : ctx.err, result.message);
    return result.unlocksEditor ? kOk : kFailed;
}

int commandFavourite(Context& ctx) {
    if (ctx.args.size() != 2 || !number(ctx.args[0]) || (ctx.args[1] != "on" && ctx.args[1] != "off")) {
        ctx.err << "favourite: use 'favourite ARTICLE_ID on|off'\n";
        return kUsage;
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    NullStatusSink quiet;
    LoggedSql sql(*db, quiet);
    SqlResult check = db->run(Statement("select id from info where id=?", {*number(ctx.args[0])}));
    if (check.rows.empty()) {
        ctx.err << "favourite: there is no article " << ctx.args[0] << "\n";
        return kFailed;
    }
    std::string text = setFavourite(sql, *number(ctx.args[0]), ctx.args[1] == "on");
    printLine(ctx.out, text);
    return text == gbk("SQL成功！") ? kOk : kFailed;
}

}  // namespace tovi::cli
