#include "core/plans/PlanHealth.h"

#include "core/store/Database.h"
#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {

std::string outcomeText(const PlanRunOutcome& o) {
    using Kind = PlanRunOutcome::Kind;
    auto withReason = [&](const char* text) {
        return o.reason.empty() ? gbk(text) : gbk(text) + gbk("：") + o.reason;
    };
    switch (o.kind) {
        case Kind::Stored:
            return gbk("取到 ") + std::to_string(o.stored) + gbk(" 篇新文章");
        case Kind::PageUnchanged:
            return gbk("页面未变化");
        case Kind::FetchFailed:
            return withReason("无法获取页面");
        case Kind::MarkersNotFound:
            return gbk("采集区域为空（找不到采集前/采集后标记）");
        case Kind::ExpressionError:
            return withReason("正则表达式出错");
        case Kind::NoMatches:
            return gbk("正则没有匹配到文章");
        case Kind::NotRunnable:
            return withReason("方案不能运行");
        case Kind::StoreFailed:
            return withReason("文章保存失败");
        case Kind::TooSlow:
            return gbk("匹配超时");
        case Kind::Skipped:
            return gbk("网站要求稍后再访问");
        case Kind::Stopped:
            return gbk("已停止");
    }
    return {};
}

namespace {

PlanHealthRecord recordOf(const std::vector<std::string>& row) {
    return {cellOf(row, 1), static_cast<int>(textToInt(cellOf(row, 2))), cellOf(row, 3), cellOf(row, 4)};
}

}  // namespace

std::map<int, PlanHealthRecord> loadPlanHealth(Database& db) {
    std::map<int, PlanHealthRecord> records;
    SqlResult r = db.run("select planid, outcome, failures, last_run, last_success from plan_health");
    for (const auto& row : r.rows) records[static_cast<int>(textToInt(cellOf(row, 0)))] = recordOf(row);
    return records;
}

Statement planHealthQuery(int planId) {
    return Statement(
        "select planid, outcome, failures, last_run, last_success from plan_health where planid=?",
        {static_cast<std::int64_t>(planId)});
}

std::optional<PlanHealthRecord> planHealthFrom(const SqlResult& r) {
    if (!r.ok || r.rows.empty()) return std::nullopt;
    return recordOf(r.rows[0]);
}

std::optional<PlanHealthRecord> loadPlanHealth(Database& db, int planId) {
    return planHealthFrom(db.run(planHealthQuery(planId)));
}

PlanHealthUpdate planHealthUpdate(const PlanHealthRecord& before, int planId, const PlanRunOutcome& outcome,
                                  const std::string& now) {
    PlanHealthUpdate u;
    u.before = before;
    u.after = u.before;
    u.after.outcome = outcomeText(outcome);
    u.after.lastRun = now;
    if (outcome.failed()) {
        ++u.after.failures;
    } else {
        u.after.failures = 0;
        u.after.lastSuccess = now;
    }
    u.write = Statement(
        "insert or replace into plan_health(planid, outcome, reason, failures, last_run, last_success) "
        "values(?,?,?,?,?,?)",
        {static_cast<std::int64_t>(planId), u.after.outcome, outcome.reason,
         static_cast<std::int64_t>(u.after.failures), u.after.lastRun, u.after.lastSuccess});
    return u;
}

void reportHealthChange(StatusSink& sink, int planId, const PlanHealthUpdate& u) {
    const std::string id = std::to_string(planId);
    if (u.after.broken() && !u.before.broken())
        sink.append(gbk("\r\n方案") + id + gbk(" 已连续 ") + std::to_string(u.after.failures) +
                    gbk(" 次失败：") + u.after.outcome + gbk("，请检查方案！"));
    else if (u.before.broken() && !u.after.broken())
        sink.append(gbk("\r\n方案") + id + gbk(" 已恢复正常：") + u.after.outcome);
}

std::optional<PlanHealthUpdate> nextPlanHealth(Database& db, int planId, const PlanRunOutcome& outcome,
                                               const std::string& now) {
    using Kind = PlanRunOutcome::Kind;
    if (outcome.kind == Kind::Stopped || outcome.kind == Kind::Skipped) return std::nullopt;
    return planHealthUpdate(loadPlanHealth(db, planId).value_or(PlanHealthRecord{}), planId, outcome, now);
}

std::optional<PlanHealthRecord> recordPlanHealth(
    Database& db, StatusSink& sink, int planId, const PlanRunOutcome& outcome, const std::string& now,
    const std::function<bool()>& cancel,
    const std::function<std::vector<Statement>(const PlanHealthUpdate&)>& alongside) {
    const std::optional<PlanHealthUpdate> next = nextPlanHealth(db, planId, outcome, now);
    if (!next) return loadPlanHealth(db, planId);
    const PlanHealthUpdate& update = *next;
    std::vector<Statement> statements = alongside ? alongside(update) : std::vector<Statement>{};
    statements.push_back(update.write);
    const auto written = db.runTransaction(statements, cancel);
    if (!written.back().ok) return std::nullopt;
    reportHealthChange(sink, planId, update);
    return update.after;
}

}  // namespace tovi
