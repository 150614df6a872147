#include "core/monitor/PlanExtractor.h"

#include <limits>

#include "core/monitor/AlertNotifier.h"
#include "core/monitor/ArticleStore.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanHealth.h"
#include "core/net/Decode.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanTable.h"
#include "core/store/LoggedSql.h"
#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

bool pauseFor(std::chrono::milliseconds duration, std::stop_token stop) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    return !cv.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
}

std::string planRunProblem(const PlanRow& plan, const Expression& expression) {
    if (std::string refused = webUrlProblem(plan[kRuleUrl]); !refused.empty()) return refused;
    if (hasLineBreak(plan[kRuleUrl]) || hasLineBreak(plan[kRuleCookie]) || hasLineBreak(plan[kRuleUa]))
        return gbk("监控网址、COOKIE 或 模拟浏览 中有换行符");
    if (plan[kRuleRegular].empty()) return gbk("正则匹配规则为空");
    if (!expression.ok()) return {};  // reported after the fetch, as an expression error
    const std::int64_t groups = expression.groupCount();
    auto outside = [&](std::int64_t k) { return k < 0 || k > groups; };
    const std::int64_t titleGroup = TextToInt(plan[kRuleTindex]);
    if (outside(titleGroup))
        return gbk("标题索引 ") + std::to_string(titleGroup) + gbk(" 不是正则的分组（共 ") +
               std::to_string(groups) + gbk(" 组）");
    const std::int64_t idGroup = TextToInt(plan[kRuleUindex]);
    if (judgeModeFromText(plan[kRuleType]) == JudgeMode::CompareArticleId && outside(idGroup))
        return gbk("文章id索引 ") + std::to_string(idGroup) + gbk(" 不是正则的分组（共 ") +
               std::to_string(groups) + gbk(" 组）");
    return {};
}

std::string planSaveProblem(const PlanRow& plan) {
    const Expression expression = Expression::compile(plan[kRuleRegular]);
    if (std::string problem = planRunProblem(plan, expression); !problem.empty()) return problem;
    if (!expression.ok()) return gbk("正则匹配规则有误：") + expression.error();
    return {};
}

PlanExtractor::PlanExtractor(LoggedSql& sql, PlanTable& table, AlertNotifier& alerts, const Clock& clock,
                             FetchLimits limits)
    : m_sql(sql),
      m_table(table),
      m_alerts(alerts),
      m_clock(clock),
      m_limits(limits),
      m_visits(sql.database()) {}

std::optional<PlanExtractor::PreparedFetch> PlanExtractor::requestFor(int planId, const PlanRow& plan) {
    // The plan's own header text, with the questions about the last visit's page.
    const std::string headers =
        "User-Agent: " + plan[kRuleUa] + m_visits.conditionalHeaders(planId, PageVisits::fingerprint(plan));
    std::optional<CurlGet> request =
        monitorRequest(plan[kRuleUrl], plan[kRuleCookie], headers, m_limits, nullptr);
    if (!request) return std::nullopt;
    // A login goes only where the certificate shows the site is the one it claims to be.
    request->verifyTls =
        verifiesCertificate(plan[kRuleCookie], acceptsOwnCertificate(m_sql.database(), planId));
    return PreparedFetch{std::move(*request), UrlHost(plan[kRuleUrl], false)};
}

std::optional<PlanExtractor::PreparedFetch> PlanExtractor::prepareFetch(int planId) {
    auto plan = m_table.row(planId);
    if (!plan || m_visits.waitLeft(planId)) return std::nullopt;
    if (!planRunProblem(*plan, Expression::compile((*plan)[kRuleRegular])).empty()) return std::nullopt;
    return requestFor(planId, *plan);
}

// Marks a plan as running for the guard's lifetime; a second run of the same plan waits for
// the first (or for a stop request). The mark goes whichever way the run ends.
class PlanExtractor::RunningGuard {
public:
    RunningGuard(PlanExtractor& e, int planId, std::stop_token stop) : m_e(e), m_id(planId) {
        std::unique_lock lock(e.m_runningMutex);
        if (e.m_running.count(planId)) {
            e.m_sql.sink().append(gbk("\r\n方案") + std::to_string(planId) +
                                  gbk(" 正在被另一个任务提取，等它结束后再提取"));
            if (!e.m_runningChanged.wait(lock, stop, [&] { return e.m_running.count(planId) == 0; })) return;
        }
        e.m_running.insert(planId);
        m_held = true;
    }
    ~RunningGuard() {
        if (!m_held) return;
        {
            std::lock_guard lock(m_e.m_runningMutex);
            m_e.m_running.erase(m_id);
        }
        m_e.m_runningChanged.notify_all();
    }
    bool held() const { return m_held; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    PlanExtractor& m_e;
    int m_id;
    bool m_held = false;
};

PlanRunOutcome PlanExtractor::runPlan(long long planId, std::stop_token stop, TransferPool* pool,
                                      const TransferPool::Ticket& ticket) {
    if (!PlanTable::isValidId(planId)) {
        m_sql.sink().append(planIdOutOfRangeLine(std::to_string(planId)));
        return PlanRunOutcome::of(PlanRunOutcome::Kind::NotRunnable,
                                  planIdOutOfRangeLine(std::to_string(planId)));
    }
    const int id = static_cast<int>(planId);
    RunningGuard running(*this, id, stop);
    if (!running.held()) return {};
    std::optional<PlanHealthUpdate> written;  // the health the run wrote with its articles
    PlanRunOutcome outcome = runLocked(id, stop, pool, ticket, written);
    outcome.planName = (*m_table.row(id))[kRuleName];
    if (outcome.kind == PlanRunOutcome::Kind::Stopped) return outcome;  // the database is left alone
    if (written) {
        reportHealthChange(m_sql.sink(), id, *written);
        outcome.healthWritten = true;
        outcome.failures = written->after.failures;
        outcome.lastSuccess = written->after.lastSuccess;
    } else if (auto health = recordPlanHealth(m_sql.database(), m_sql.sink(), id, outcome, LongTimestamp(m_clock),
                                       [&stop] { return stop.stop_requested(); })) {
        outcome.failures = health->failures;
        outcome.lastSuccess = health->lastSuccess;
    }
    return outcome;
}

namespace {

using Kind = PlanRunOutcome::Kind;

bool hasTitle(const std::vector<Match>& matches, std::int64_t titleGroup, const std::string& title) {
    const std::string wanted = articleTitle(title);
    for (const Match& m : matches)
        if (articleTitle(groupText(m, titleGroup)) == wanted) return true;
    return false;
}

}  // namespace

PlanRunOutcome PlanExtractor::runLocked(int planId, std::stop_token stop, TransferPool* pool,
                                        const TransferPool::Ticket& ticket,
                                        std::optional<PlanHealthUpdate>& health) {
    StatusSink& sink = m_sql.sink();
    const std::string idText = std::to_string(planId);
    auto endLine = [&] {
        sink.append(gbk("\r\n任务") + idText + gbk("已结束----") + ShortTimestamp(m_clock));
    };
    auto finish = [&](Kind kind, std::string reason = {}) {
        endLine();
        return PlanRunOutcome::of(kind, std::move(reason));
    };
    const PlanRunOutcome stopped{};

    sink.append(gbk("\r\n开始提取 方案") + idText + gbk(" 的新文章 ---- ") + ShortTimestamp(m_clock));
    // A copy: a tree rebuild may refill the table while this run works.
    PlanRow plan = *m_table.row(planId);
    const bool pageIsGbk = plan[kRuleCode] == "1";
    const JudgeMode mode = judgeModeFromText(plan[kRuleType]);
    const Expression expression = Expression::compile(plan[kRuleRegular]);
    if (std::string problem = planRunProblem(plan, expression); !problem.empty()) {
        sink.append(gbk("\r\n方案") + idText + gbk(" 不能运行：") + problem + gbk("，已跳过！"));
        return finish(Kind::NotRunnable, problem);
    }
    if (auto wait = m_visits.waitLeft(planId)) {
        sink.append(gbk("\r\n网站要求稍后再访问，还需等 ") + std::to_string(wait->count()) +
                    gbk(" 秒，本次跳过"));
        return finish(Kind::Skipped);
    }
    sink.append(gbk("\r\n正在 采集源码"));

    const CancelCheck cancel = [&stop] { return stop.stop_requested(); };
    CurlResponse response;
    if (pool && ticket) {
        response = pool->take(ticket, cancel);
    } else if (auto prepared = requestFor(planId, plan)) {
        prepared->request.cancel = cancel;
        response = performGet(prepared->request);
    }
    // The cookies the site set join the plan's cookie as it is now.
    std::string cookie = (*m_table.row(planId))[kRuleCookie];
    mergeResponseCookies(response, cookie);
    m_table.setCookie(planId, cookie);
    if (stop.stop_requested()) return stopped;
    FetchResult& fetched = response.result;
    if (fetched.status >= 400) sink.append(gbk("（HTTP ") + std::to_string(fetched.status) + gbk("）"));
    if ((fetched.status == 429 || fetched.status == 503) && fetched.retryAfter) {
        m_visits.holdOff(planId, *fetched.retryAfter);
        if (*fetched.retryAfter > PageVisits::kMaxHoldOff)
            sink.append(gbk("、网站要求 ") + std::to_string(fetched.retryAfter->count()) +
                        gbk(" 秒后再访问，最多等 24 小时"));
    }
    if (fetched.status == 304) {
        // The page is as it was at the last visit, all of which was processed.
        sink.append(gbk("、源码未变化（HTTP 304），本次无新文章"));
        return finish(Kind::PageUnchanged);
    }
    const bool nothingCame = fetched.body.empty();
    // Why a page that gave no list failed: the site's own answer first.
    const bool httpError = fetched.status >= 400;
    const std::string failure = httpError ? "HTTP " + std::to_string(fetched.status) : fetched.error;
    std::string source = decodeBody(std::move(fetched.body), pageIsGbk);

    sink.append(gbk("、整理源码"));
    cleanSourceInPlace(source);
    sink.append(gbk("、取有效源码"));

    JudgeRules rules;
    rules.mode = mode;
    rules.titleGroup = TextToInt(plan[kRuleTindex]);
    rules.idGroup = TextToInt(plan[kRuleUindex]);
    rules.otherGroup = TextToInt(plan[kRuleOindex]);
    rules.urlTemplate = plan[kRuleBuquan];
    // The marker as this run starts; the write transaction below reads it again.
    rules.marker = plan[kRuleArttile];
    rules.lastId = TextToInt(plan[kRuleLastid]);
    const bool timeMode = mode != JudgeMode::CompareArticleId;

    MatchLimits limits;
    limits.cancel = cancel;
    limits.budget = m_matchBudget;
    limits.maxMatches = kMaxMatches;
    limits.keepLast = mode == JudgeMode::TimeAscending;  // the newest stand last
    // By article id the newest are the highest ids, wherever the page puts them.
    if (mode == JudgeMode::CompareArticleId) {
        const std::int64_t idGroup = TextToInt(plan[kRuleUindex]);
        limits.rank = [idGroup](const Match& m) {
            return TextToIntChecked(groupText(m, idGroup)).value_or(std::numeric_limits<std::int64_t>::min());
        };
    }
    auto overBudget = [&] {
        // A partial list could move the plan's marker past articles never looked at.
        sink.append(gbk("\r\n正则匹配超过 ") + std::to_string((m_matchBudget.count() + 999) / 1000) +
                    gbk(" 秒仍未完成，已停止，本次不保存文章！"));
        return finish(Kind::TooSlow);
    };
    const std::string_view region = TextBetweenView(source, plan[kRuleBefore], plan[kRuleAfter]);
    MatchResult matched;
    if (!region.empty()) {
        matched = matchAll(expression, region, limits);
        if (matched.cancelled) return stopped;
        if (matched.overBudget) return overBudget();
    }
    // Where the plan's own region no longer holds the last article, look where the marker
    // used to stand in for one of the plan's markers.
    MatchResult widened;
    if (timeMode && !rules.marker.empty() && !hasTitle(matched.matches, rules.titleGroup, rules.marker)) {
        std::string_view wide = widenedRegion(source, plan[kRuleBefore], plan[kRuleAfter], mode);
        if (!wide.empty() && wide != region) {
            widened = matchAll(expression, wide, limits);
            if (widened.cancelled) return stopped;
            if (widened.overBudget) return overBudget();
            if (!hasTitle(widened.matches, rules.titleGroup, rules.marker)) widened = MatchResult{};
        }
    }
    const bool useWidened = !widened.matches.empty();
    const MatchResult& page = useWidened ? widened : matched;
    if (timeMode && !useWidened &&
        (rules.marker.empty() || !hasTitle(matched.matches, rules.titleGroup, rules.marker)))
        sink.append(gbk("源码中末发现最后文章标记！"));
    if (region.empty() && !useWidened) {
        std::string line = gbk("\r\n截取源码为空，可能是 无新文章、采集区域设置、源站无法访问 等原因！");
        if (!fetched.error.empty()) line += gbk("（") + fetched.error + gbk("）");
        sink.append(line);
        return PlanRunOutcome::of(
            httpError || (nothingCame && !fetched.error.empty()) ? Kind::FetchFailed : Kind::MarkersNotFound,
            failure);
    }

    sink.append(gbk("、匹配文章"));
    if (!page.error.empty()) sink.append(gbk("\r\n正则表达式无法使用：") + page.error);
    if (page.found > page.matches.size())
        sink.append(gbk("\r\n本页匹配到 ") + std::to_string(page.found) + gbk(" 篇，只看最新的 ") +
                    std::to_string(page.matches.size()) + gbk(" 篇"));
    if (stop.stop_requested()) return stopped;

    if (page.matches.empty()) {
        sink.append(gbk(" 取到 0 篇新文章"));
        if (httpError && page.error.empty()) return finish(Kind::FetchFailed, failure);
        return finish(page.error.empty() ? Kind::NoMatches : Kind::ExpressionError, page.error);
    }

    // The articles, the plan's state, its health and what the visit learnt (all of the page is
    // processed: the next visit may ask whether it changed since): one commit.
    StoreRequest request{planId, plan[kRuleName], rules, ShortTimestamp(m_clock), {}};
    const PageVisits::VisitStatement visit = m_visits.rememberLater(planId, fetched);
    std::optional<PlanHealthUpdate> pendingHealth;
    request.alongside = [&](Transaction& t, const StoreReport& r) {
        PlanRunOutcome o = PlanRunOutcome::of(Kind::Stored);
        o.stored = r.stored;
        const PlanHealthRecord before = planHealthFrom(t.run(planHealthQuery(planId))).value_or(PlanHealthRecord{});
        pendingHealth = planHealthUpdate(before, planId, o, LongTimestamp(m_clock));
        std::vector<Statement> also{pendingHealth->write};
        PlanRow after = plan;
        after[kRuleArttile] = r.arttile;
        after[kRuleLastid] = std::to_string(r.lastId);
        if (auto v = visit(PageVisits::fingerprint(after))) also.push_back(std::move(*v));
        return also;
    };
    StoreReport report = storeNewArticles(m_sql.database(), page.matches, std::move(request), cancel);
    for (const std::string& badId : report.judged.refusedIds)
        sink.append(gbk("\r\n文章id “") + badId.substr(0, 40) + gbk("” 超出范围，不是文章id，已跳过该文章"));
    sink.append(gbk(" 取到 ") + std::to_string(report.stored) + gbk(" 篇新文章"));
    if (report.skipped > 0)
        sink.append(gbk("（另有 ") + std::to_string(report.skipped) + gbk(" 篇此前已保存，已跳过）"));
    if (report.dropped > 0)
        sink.append(gbk("（另有 ") + std::to_string(report.dropped) + gbk(" 篇被标题规则过滤）"));

    if (!report.transaction.committed) {
        if (stop.stop_requested() && report.results.empty()) return stopped;
        // Nothing of this run was written and nothing is marked as seen: the next run retries.
        if (!report.results.empty()) m_sql.echo(report.statements.back().display(), report.results.back());
        sink.append(gbk("\r\n保存失败（") + report.transaction.error +
                    gbk("），本次的文章都未保存，下次提取时重试！"));
        return finish(Kind::StoreFailed, report.transaction.error);
    }
    health = pendingHealth;
    m_table.writeBack(planId, report.arttile, std::to_string(report.lastId), cookie);
    if (report.alerting > 0) m_alerts.noteNewArticles();

    // Echo each statement with its result, paced as the status log always was; a stop skips
    // the pauses, never the commit above.
    for (std::size_t i = 0; i < report.statements.size(); ++i) {
        m_sql.echo(report.statements[i].display(), report.results[i]);
        if (i < static_cast<std::size_t>(report.stored) && i < kPacedEchoes && !stop.stop_requested())
            pauseFor(m_articlePause.load(), stop);
    }
    endLine();
    PlanRunOutcome outcome = PlanRunOutcome::of(Kind::Stored);
    outcome.stored = report.stored;
    outcome.skipped = report.skipped;
    outcome.dropped = report.dropped;
    outcome.alerting = report.alerting;
    outcome.alertTitles = report.alertTitles;
    return outcome;
}

}  // namespace tovi
