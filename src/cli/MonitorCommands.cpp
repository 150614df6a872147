// run, test: monitoring without a window.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include "cli/Commands.h"
#include "cli/Feeds.h"
#include "cli/Terminal.h"
#include "core/monitor/Monitoring.h"
#include "core/monitor/PlanTestRun.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanRows.h"
#include "core/settings/Settings.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi::cli {
namespace {

volatile std::sig_atomic_t g_signal = 0;
void onSignal(int number) { g_signal = number; }

class TerminalAlertSink final : public AlertSink {
public:
    explicit TerminalAlertSink(std::ostream& err) : m_err(err) {}
    void playSound() override {}
    void showAlertIcon() override { printLine(m_err, gbk("[提醒] 有新的消息！")); }
    void showNormalIcon() override {}

private:
    std::ostream& m_err;
};

enum class RunOutput { Normal, Verbose, Quiet, Json };

// What the run needs to know of its workers: an empty queue, plans whose articles could not be
// stored; what each plan brought (unless the full trace is shown); and, with a feed directory,
// new feeds after a pass that stored something (and after the first pass in any case).
class RunListener final : public MonitorListener {
public:
    RunListener(Context& ctx, std::string feedDir, bool trace, RunOutput output)
        : m_ctx(ctx), m_feedDir(std::move(feedDir)), m_trace(trace), m_output(output) {}
    void queueEmpty(RunMode) override { empty = true; }
    void planFinished(int planId, const PlanRunOutcome& outcome) override {
        if (outcome.kind == PlanRunOutcome::Kind::StoreFailed) storeFailed = true;
        m_storedThisPass += outcome.stored;
        ++plansRun;
        stored += outcome.stored;
        if (outcome.failed()) ++failed;
        if (m_output == RunOutput::Json) {
            std::lock_guard g(m_mutex);
            m_plans.push_back(planJson(planId, outcome));
            return;
        }
        if (m_trace) return;
        // For cron mail and terminals: what is new, and what failed; the rest on request.
        const bool show = outcome.failed() || (m_output != RunOutput::Quiet && outcome.stored > 0) ||
                          m_output == RunOutput::Verbose;
        if (!show) return;
        std::string text = planLine(planId, outcome);
        if (m_output != RunOutput::Quiet)
            for (const PlanRunOutcome::Article& a : outcome.articles)
                text += "\n  " + decodeEntities(a.title) + "  " + browserLink(a.url);
        printLine(m_ctx.out, text);
    }
    void passFinished(RunMode, const PassSummary&) override {
        const bool first = !m_feedsWritten.exchange(true);
        if (m_feedDir.empty() || (m_storedThisPass.exchange(0) == 0 && !first)) return;
        Database* db = m_ctx.database();
        if (!db) return;
        if (Result<> written = writeFeedDirectory(*db, m_feedDir); !written)
            printLine(m_ctx.err, gbk("订阅源写入失败：") + written.error());
    }
    // Pushes that failed or were given up are said on the error stream (cron mails it);
    // deliveries only when asked for everything. The trace shows them all already.
    void pushesFlushed(const PushFlushReport& report) override {
        if (m_trace) return;
        const bool trouble = report.failed > 0 || report.givenUp > 0;
        if (!trouble && m_output != RunOutput::Verbose) return;
        for (const std::string& line : report.lines) printLine(m_ctx.err, line);
    }
    void startPass() {
        empty = false;
        plansRun = stored = failed = 0;
    }
    // After a pass: the summary line, or the pass as one JSON document.
    void endPass(int cycle) {
        if (m_output == RunOutput::Json) {
            std::lock_guard g(m_mutex);
            printJson(m_ctx.out, {{"cycle", cycle},
                                  {"plans", std::exchange(m_plans, nlohmann::json::array())},
                                  {"stored", stored.load()},
                                  {"failed", failed.load()}});
            return;
        }
        if (m_output == RunOutput::Quiet) return;
        printLine(m_ctx.out, gbk("共 ") + std::to_string(plansRun) + gbk(" 个方案，保存 ") +
                                 std::to_string(stored) + gbk(" 篇新文章，") + std::to_string(failed) +
                                 gbk(" 个失败"));
    }
    std::atomic<bool> empty{false};
    std::atomic<bool> storeFailed{false};
    std::atomic<int> plansRun{0}, stored{0}, failed{0};

private:
    static std::string planLine(int planId, const PlanRunOutcome& o) {
        std::string line =
            gbk("方案 ") + std::to_string(planId) + " " + o.planName + gbk("：") + outcomeText(o);
        if (o.skipped) line += gbk("，") + std::to_string(o.skipped) + gbk(" 篇此前已保存");
        if (o.dropped) line += gbk("，") + std::to_string(o.dropped) + gbk(" 篇被标题规则过滤");
        return line;
    }
    static nlohmann::json planJson(int planId, const PlanRunOutcome& o) {
        nlohmann::json articles = nlohmann::json::array();
        for (const PlanRunOutcome::Article& a : o.articles)
            articles.push_back(
                {{"title", gbkToUtf8(decodeEntities(a.title))}, {"url", gbkToUtf8(browserLink(a.url))}});
        return {{"plan", planId},
                {"name", gbkToUtf8(o.planName)},
                {"outcome", gbkToUtf8(outcomeText(o))},
                {"failed", o.failed()},
                {"stored", o.stored},
                {"articles", std::move(articles)}};
    }
    Context& m_ctx;
    std::string m_feedDir;
    bool m_trace;
    RunOutput m_output;
    std::atomic<int> m_storedThisPass{0};
    std::atomic<bool> m_feedsWritten{false};
    std::mutex m_mutex;
    nlohmann::json m_plans = nlohmann::json::array();  // under m_mutex
};

struct RunOptions {
    std::vector<std::int64_t> plans;
    std::int64_t cycles = 1;
    std::optional<std::int64_t> every, pauseMs, parallel;
    std::string feedDir;
    bool trace = false, verbose = false, quiet = false;
    std::string format = "text";
    RunOutput output() const {
        return format == "json" ? RunOutput::Json
               : quiet          ? RunOutput::Quiet
               : verbose        ? RunOutput::Verbose
                                : RunOutput::Normal;
    }
};

// The plans of one pass: those given, or those ticked as the database has them now.
std::vector<int> passQueue(const SqlResult& rules, const std::vector<std::int64_t>& given) {
    std::vector<int> queue;
    for (std::int64_t id : given) queue.push_back(static_cast<int>(id));
    if (given.empty())
        for (const auto& row : rules.rows) {
            const std::int64_t id = textToInt(cellOf(row, kRuleId));
            if (textToInt(cellOf(row, kRuleIsdo)) == 1 && PlanTable::isValidId(id))
                queue.push_back(static_cast<int>(id));
        }
    return queue;
}

std::string frequencyTooLow() { return gbk("监控频率不能低于 10 秒（--every，或 tovimo.ini 的 频率）"); }

// Seconds until the next cycle, as --every or 频率 says now (edits take effect between cycles).
std::optional<std::int64_t> cycleSeconds(const RunOptions& o, const Settings& settings) {
    return checkFrequency(o.every ? std::to_string(*o.every) : settings.read(SettingKey::frequency()));
}

// Waits out the pause between cycles; false when a signal came meanwhile.
bool sleepUntilNextCycle(Context& ctx, std::int64_t seconds) {
    // However large 频率 is written, the wait is one the clocks can hold (at most 30 days).
    const auto pause = cyclePause(seconds);
    seconds = std::chrono::duration_cast<std::chrono::seconds>(pause).count();
    const std::time_t at = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() +
                                                                std::chrono::seconds(seconds));
    char when[32];
    std::strftime(when, sizeof when, seconds >= 86400 ? "%m-%d %H:%M:%S" : "%H:%M:%S", std::localtime(&at));
    printLine(ctx.err, gbk("等待 ") + std::to_string(seconds) + gbk(" 秒，下一轮在 ") + when + gbk(" 开始"));
    // The steady clock: a system clock set back or forward neither stretches nor skips the wait.
    const auto next = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < next) {
        if (g_signal) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !g_signal;
}

int run(Context& ctx, const RunOptions& o) {
    if (o.cycles != 1 && !cycleSeconds(o, Settings(ctx.iniPath()))) {
        printLine(ctx.err, frequencyTooLow());
        return kUsage;
    }
    Database* db = ctx.database();
    if (!db) return kFailed;
    for (std::int64_t id : o.plans)
        if (!existingPlan(ctx, *db, id)) return kUsage;

    TerminalStatusSink traceSink(ctx.out);
    NullStatusSink quiet;
    StatusSink& sink = o.trace ? static_cast<StatusSink&>(traceSink) : quiet;
    TerminalAlertSink alertSink(ctx.err);
    RunListener listener(ctx, o.feedDir, o.trace, o.output());
    Monitoring monitoring(*db, sink, alertSink, &listener);
    // The pacing is for a person following the trace in the window: here only when asked.
    monitoring.planRunner().setArticlePause(std::chrono::milliseconds(o.pauseMs.value_or(0)));
    MonitorEngine& engine = monitoring.engine();

    g_signal = 0;
    auto previousInt = std::signal(SIGINT, onSignal);
    auto previousTerm = std::signal(SIGTERM, onSignal);
    std::string lastSettingsNote;
    // 0 cycles: until stopped.
    for (std::int64_t cycle = 1;; ++cycle) {
        // Plans, ticks and settings as they stand now: edits made meanwhile take effect.
        Settings settings(ctx.iniPath());
        // Without the trace the status lines are not shown: a wrong setting is still said, once.
        const std::string note = monitoring.applySettings(settings);
        if (!o.trace && !note.empty() && note != lastSettingsNote) printLine(ctx.err, note);
        lastSettingsNote = note;
        if (o.parallel) engine.setParallel(static_cast<int>(*o.parallel));
        SqlResult rules = readPlans(*db);
        monitoring.planTable().fill(rules, &sink);
        monitoring.planTable().setRendering(renderingPlans(*db));
        if (o.cycles != 1) printLine(ctx.err, gbk("第 ") + std::to_string(cycle) + gbk(" 轮开始"));
        listener.startPass();
        engine.startOneShot(passQueue(rules, o.plans), o.cycles == 1 ? RunMode::RunAll : RunMode::RunTicked);
        while (!engine.waitAll(std::chrono::milliseconds(50)))
            if (g_signal) engine.requestStopAll();
        if (o.trace) ctx.out << "\n";
        if (g_signal) break;
        if (listener.empty)
            printLine(ctx.err, gbk("执行队列为空！（用 plan tick 编号 勾选方案，或用 --plan 编号 指定）"));
        else
            listener.endPass(static_cast<int>(cycle));
        monitoring.alerts().raiseIfNewArticles();
        if (o.cycles == 1 || (o.cycles > 1 && cycle >= o.cycles)) break;
        const auto seconds = cycleSeconds(o, settings);
        if (!seconds) {
            printLine(ctx.err, frequencyTooLow());
            break;
        }
        if (!sleepUntilNextCycle(ctx, *seconds)) break;
    }
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (g_signal) {
        printLine(ctx.err, gbk("已停止"));
        return g_signal == SIGTERM ? kTerminated : kInterrupted;
    }
    if (listener.storeFailed) {
        printLine(ctx.err, gbk("至少有一个方案的文章没能保存"));
        return kFailed;
    }
    return kOk;
}

int test(Context& ctx, std::int64_t planId) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (!existingPlan(ctx, *db, planId)) return kUsage;
    const auto plan = readPlan(*db, planId);
    if (!plan) {
        printLine(ctx.err, db->lastError().empty() ? gbk("方案已不存在") : db->lastError());
        return kFailed;
    }
    const auto& row = *plan;
    PlanTestInput input{cellOf(row, kRuleRegular), cellOf(row, kRuleUrl),   cellOf(row, kRuleCode) == "1",
                        cellOf(row, kRuleBefore),  cellOf(row, kRuleAfter), cellOf(row, kRuleCookie),
                        cellOf(row, kRuleUa)};
    PlanTestResult result =
        rendersPage(*db, static_cast<int>(planId)) ? runRenderedPlanTest(input) : runPlanTest(input);
    if (result.cutShown) {
        printLine(ctx.out, gbk("== 截取的源码 =="));
        printLine(ctx.out, result.cutText);
    }
    if (!result.fetchError.empty()) printLine(ctx.err, gbk("获取失败：") + result.fetchError);
    if (!result.rows.empty()) {
        printLine(ctx.out, gbk("== 匹配结果 =="));
        printTable(ctx.out, result.columns, result.rows);
    }
    if (!result.message.empty()) printLine(result.unlocksEditor ? ctx.out : ctx.err, result.message);
    return result.unlocksEditor ? kOk : kFailed;
}

}  // namespace

CLI::Validator planIdRange() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::int64_t id = 0;
            if (!CLI::detail::lexical_cast(text, id) || id < 1 || id > 200)
                return "plan ids go from 1 to 200, not " + text;
            return {};
        },
        "1..200", "plan id");
}

CLI::Validator wholeNumber(std::int64_t least) {
    return CLI::Validator(
        [least](std::string& text) -> std::string {
            std::int64_t n = 0;
            if (!CLI::detail::lexical_cast(text, n) || n < least)
                return "a whole number from " + std::to_string(least) + " on is needed, not " + text;
            return {};
        },
        std::to_string(least) + "..", "number");
}

void addMonitorCommands(CLI::App& app, Action& chosen) {
    auto o = std::make_shared<RunOptions>();
    auto* runCommand = app.add_subcommand(
        "run", "run the plans: one pass over those ticked (isdo=1), or the given ones; Ctrl-C stops cleanly");
    runCommand
        ->add_option("--plan", o->plans, "a plan to run (1..200; repeat for more); default: the ticked plans")
        ->check(planIdRange());
    runCommand->add_option("--cycles", o->cycles, "cycles to run; 0 runs until stopped (default 1: one pass)")
        ->check(wholeNumber(0));
    runCommand
        ->add_option("--every", o->every,
                     "seconds between cycles, 10 to 2592000 (30 days; default: 频率 of tovimo.ini)")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{30LL * 24 * 3600}));
    runCommand
        ->add_option("--pause-ms", o->pauseMs,
                     "pause after each of a run's first echoed articles in the trace (default 0)")
        ->check(CLI::Range(0, 60000));
    runCommand
        ->add_option("--parallel", o->parallel,
                     "page fetches in flight at once (default: 并发, else 16; at most 2 per site)")
        ->check(CLI::Range(1, 64));
    runCommand->add_option(
        "--feed-dir", o->feedDir,
        "rewrite an Atom feed per plan and all.xml here after each pass that stored something");
    runCommand->add_flag("--trace", o->trace, "print the full status trace instead of one line per plan");
    auto* verbose =
        runCommand->add_flag("-v,--verbose", o->verbose, "also a line for each plan that had nothing new");
    auto* quiet = runCommand->add_flag("--quiet", o->quiet, "print only the plans that failed");
    verbose->excludes(quiet);
    runCommand->add_option("--format", o->format, "text (default) or json: each pass as one JSON document")
        ->check(CLI::IsMember({"text", "json"}));
    runCommand->callback([&chosen, o] { chosen = [o](Context& ctx) { return run(ctx, *o); }; });

    auto id = std::make_shared<std::int64_t>(0);
    auto* testCommand =
        app.add_subcommand("test", "try a plan on its page: the cut page and every match with its groups");
    testCommand->add_option("--plan", *id, "the plan (1..200)")->required()->check(planIdRange());
    testCommand->callback([&chosen, id] { chosen = [id](Context& ctx) { return test(ctx, *id); }; });
}

}  // namespace tovi::cli
