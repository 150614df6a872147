#include "core/monitor/PlanRunner.h"

#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanRun.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanTable.h"
#include "core/push/PushStore.h"
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

Result<> checkPlanRunnable(const PlanRow& plan, const Expression& expression) {
    if (Result<> allowed = checkWebUrl(plan[kRuleUrl]); !allowed) return allowed;
    if (hasLineBreak(plan[kRuleUrl]) || hasLineBreak(plan[kRuleCookie]) || hasLineBreak(plan[kRuleUa]))
        return Error{gbk("监控网址、COOKIE 或 模拟浏览 中有换行符")};
    if (plan[kRuleRegular].empty()) return Error{gbk("正则匹配规则为空")};
    if (!expression.ok()) return {};  // reported after the fetch, as an expression error
    const std::int64_t groups = expression.groupCount();
    auto outside = [&](std::int64_t k) { return k < 0 || k > groups; };
    const std::int64_t titleGroup = textToInt(plan[kRuleTindex]);
    if (outside(titleGroup))
        return Error{gbk("标题索引 ") + std::to_string(titleGroup) + gbk(" 不是正则的分组（共 ") +
                     std::to_string(groups) + gbk(" 组）")};
    const std::int64_t idGroup = textToInt(plan[kRuleUindex]);
    if (judgeModeFromText(plan[kRuleType]) == JudgeMode::CompareArticleId && outside(idGroup))
        return Error{gbk("文章id索引 ") + std::to_string(idGroup) + gbk(" 不是正则的分组（共 ") +
                     std::to_string(groups) + gbk(" 组）")};
    return {};
}

Result<> checkPlanSavable(const PlanRow& plan) {
    const Expression expression = Expression::compile(plan[kRuleRegular]);
    if (Result<> runnable = checkPlanRunnable(plan, expression); !runnable) return runnable;
    if (!expression.ok()) return Error{gbk("正则匹配规则有误：") + expression.error()};
    return {};
}

PlanRunner::PlanRunner(LoggedSql& sql, PlanTable& table, AlertNotifier& alerts, const Clock& clock,
                       FetchLimits limits)
    : m_sql(sql),
      m_table(table),
      m_alerts(alerts),
      m_clock(clock),
      m_limits(limits),
      m_visits(sql.database()) {}

std::optional<PlanRunner::PreparedFetch> PlanRunner::requestFor(int planId, const PlanRow& plan) {
    // The plan's own header text, with the questions about the last visit's page.
    const std::string headers =
        "User-Agent: " + plan[kRuleUa] + m_visits.conditionalHeaders(planId, PageVisits::fingerprint(plan));
    Result<CurlGet> request = monitorRequest(plan[kRuleUrl], plan[kRuleCookie], headers, m_limits);
    if (!request) return std::nullopt;
    // A login (the plan's own cookie, or a user and password in its URL; never what the site
    // set itself) goes only where the certificate shows the site is the one it claims to be.
    const bool login = !m_table.ownCookie(planId).empty() || !splitUrl(plan[kRuleUrl]).userInfo.empty();
    request->verifyTls = verifiesCertificate(login, acceptsOwnCertificate(m_sql.database(), planId));
    return PreparedFetch{std::move(*request), urlHost(plan[kRuleUrl], false)};
}

std::optional<PlanRunner::PreparedFetch> PlanRunner::prepareFetch(int planId) {
    auto plan = m_table.row(planId);
    if (!plan || m_visits.waitLeft(planId)) return std::nullopt;
    if (!checkPlanRunnable(*plan, Expression::compile((*plan)[kRuleRegular]))) return std::nullopt;
    if (m_table.renders(planId)) return std::nullopt;  // loaded by the browser when it runs
    return requestFor(planId, *plan);
}

// Marks a plan as running for the guard's lifetime; a second run of the same plan waits for
// the first (or for a stop request). The mark goes whichever way the run ends.
class PlanRunner::RunningGuard {
public:
    RunningGuard(PlanRunner& e, int planId, std::stop_token stop) : m_e(e), m_id(planId) {
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
    PlanRunner& m_e;
    int m_id;
    bool m_held = false;
};

PlanRunOutcome PlanRunner::runPlan(long long planId, std::stop_token stop, TransferPool* pool,
                                   const TransferPool::Ticket& ticket, DeferredWrites* deferred) {
    if (!PlanTable::isValidId(planId)) {
        m_sql.sink().append(planIdOutOfRangeLine(std::to_string(planId)));
        return PlanRunOutcome::of(PlanRunOutcome::Kind::NotRunnable,
                                  planIdOutOfRangeLine(std::to_string(planId)));
    }
    const int id = static_cast<int>(planId);
    RunningGuard running(*this, id, stop);
    if (!running.held()) return {};
    Run run(*this, id, stop, deferred);
    PlanRunOutcome outcome = run(pool, ticket);
    outcome.planName = (*m_table.row(id))[kRuleName];
    using Kind = PlanRunOutcome::Kind;
    if (outcome.kind == Kind::Stopped) return outcome;  // the database is left alone
    std::optional<PlanHealthUpdate> health = run.writtenHealth;
    // A plan that just broke or recovered is announced by the statement that records it.
    const std::int64_t now = std::time(nullptr);
    if (!health && deferred) {
        health = nextPlanHealth(m_sql.database(), id, outcome, longTimestamp(m_clock));
        if (health) {
            if (auto push = healthChangePush(id, outcome.planName, *health, now))
                deferred->statements.push_back(std::move(*push));
            deferred->statements.push_back(health->write);
        }
    }
    if (health) {
        reportHealthChange(m_sql.sink(), id, *health);
        outcome.healthWritten = true;
        outcome.failures = health->after.failures;
        outcome.lastSuccess = health->after.lastSuccess;
    } else if (auto record = recordPlanHealth(
                   m_sql.database(), m_sql.sink(), id, outcome, longTimestamp(m_clock),
                   [&stop] { return stop.stop_requested(); },
                   [&](const PlanHealthUpdate& u) {
                       std::vector<Statement> also;
                       if (auto push = healthChangePush(id, outcome.planName, u, now))
                           also.push_back(std::move(*push));
                       return also;
                   })) {
        outcome.failures = record->failures;
        outcome.lastSuccess = record->lastSuccess;
    }
    return outcome;
}

void PlanRunner::writeDeferred(DeferredWrites& deferred, std::stop_token stop) {
    if (deferred.statements.empty()) return;
    m_sql.database().runTransaction(deferred.statements, [&stop] { return stop.stop_requested(); });
    deferred.statements.clear();
}

}  // namespace tovi
