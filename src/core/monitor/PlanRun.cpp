#include "core/monitor/PlanRun.h"

#include <ctime>
#include <limits>

#include "core/monitor/AlertNotifier.h"
#include "core/net/Decode.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/push/PushStore.h"
#include "core/store/LoggedSql.h"
#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

bool hasTitle(const std::vector<Match>& matches, std::int64_t titleGroup, const std::string& title) {
    const std::string wanted = articleTitle(title);
    for (const Match& m : matches)
        if (articleTitle(groupText(m, titleGroup)) == wanted) return true;
    return false;
}

}  // namespace

PlanRunner::Run::Run(PlanRunner& runner, int planId, std::stop_token stop, DeferredWrites* deferred)
    : m_e(runner),
      m_sink(runner.m_sql.sink()),
      m_planId(planId),
      m_idText(std::to_string(planId)),
      m_stop(stop),
      m_cancel([stop] { return stop.stop_requested(); }),
      m_deferred(deferred) {}

PlanRunOutcome PlanRunner::Run::operator()(TransferPool* pool, const TransferPool::Ticket& ticket) {
    if (Ending end = start()) return *end;
    if (Ending end = fetch(pool, ticket)) return *end;
    decodeAndClean();
    if (Ending end = match()) return *end;
    if (Ending end = store()) return *end;
    return echo();
}

PlanRunOutcome PlanRunner::Run::finish(Kind kind, std::string reason) {
    m_sink.append(gbk("\r\n任务") + m_idText + gbk("已结束----") + shortTimestamp(m_e.m_clock));
    return PlanRunOutcome::of(kind, std::move(reason));
}

// The plan as it stands, and whether it may run now.
PlanRunner::Run::Ending PlanRunner::Run::start() {
    m_sink.append(gbk("\r\n开始提取 方案") + m_idText + gbk(" 的新文章 ---- ") + shortTimestamp(m_e.m_clock));
    m_plan = *m_e.m_table.row(m_planId);
    m_mode = judgeModeFromText(m_plan[kRuleType]);
    m_expression = Expression::compile(m_plan[kRuleRegular]);
    if (Result<> runnable = checkPlanRunnable(m_plan, *m_expression); !runnable) {
        m_sink.append(gbk("\r\n方案") + m_idText + gbk(" 不能运行：") + runnable.error() + gbk("，已跳过！"));
        return finish(Kind::NotRunnable, runnable.error());
    }
    if (auto wait = m_e.m_visits.waitLeft(m_planId)) {
        m_sink.append(gbk("\r\n网站要求稍后再访问，还需等 ") + std::to_string(wait->count()) +
                      gbk(" 秒，本次跳过"));
        return finish(Kind::Skipped);
    }
    m_sink.append(gbk("\r\n正在 采集源码"));
    return std::nullopt;
}

// The page, the cookies the site set, and what the site said about coming back.
PlanRunner::Run::Ending PlanRunner::Run::fetch(TransferPool* pool, const TransferPool::Ticket& ticket) {
    CurlResponse response;
    if (m_e.m_table.renders(m_planId)) {
        // The page as its scripts build it. The plan's cookie is sent as it stands; what the
        // site sets stays in the browser's context for this page only.
        m_sink.append(gbk("（浏览器渲染）"));
        m_rendered = true;
        response.result =
            m_e.m_renderer.render({m_plan[kRuleUrl], m_plan[kRuleCookie], m_plan[kRuleUa]}, m_cancel).page;
    } else if (pool && ticket) {
        response = pool->take(ticket, m_cancel);
    } else if (auto prepared = m_e.requestFor(m_planId, m_plan)) {
        prepared->request.cancel = m_cancel;
        response = performGet(prepared->request);
    }
    // The cookies the site set join the plan's cookie as it is now.
    m_cookie = (*m_e.m_table.row(m_planId))[kRuleCookie];
    mergeResponseCookies(response, m_cookie);
    m_e.m_table.setCookie(m_planId, m_cookie);
    if (m_stop.stop_requested()) return PlanRunOutcome{};
    m_fetched = std::move(response.result);
    const long status = m_fetched.status;
    if (status >= 400) m_sink.append(gbk("（HTTP ") + std::to_string(status) + gbk("）"));
    if ((status == 429 || status == 503) && m_fetched.retryAfter) {
        m_e.m_visits.holdOff(m_planId, *m_fetched.retryAfter);
        if (*m_fetched.retryAfter > PageVisits::kMaxHoldOff)
            m_sink.append(gbk("、网站要求 ") + std::to_string(m_fetched.retryAfter->count()) +
                          gbk(" 秒后再访问，最多等 24 小时"));
    }
    if (status == 304) {
        // The page is as it was at the last visit, all of which was processed.
        m_sink.append(gbk("、源码未变化（HTTP 304），本次无新文章"));
        return finish(Kind::PageUnchanged);
    }
    m_nothingCame = m_fetched.body.empty();
    m_httpError = status >= 400;
    m_failure = m_httpError ? "HTTP " + std::to_string(status) : m_fetched.error;
    return std::nullopt;
}

void PlanRunner::Run::decodeAndClean() {
    m_source = decodeBody(std::move(m_fetched.body), !m_rendered && m_plan[kRuleCode] == "1");
    m_sink.append(gbk("、整理源码"));
    cleanSourceInPlace(m_source);
    m_sink.append(gbk("、取有效源码"));
}

PlanRunOutcome PlanRunner::Run::overBudget() {
    // A partial list could move the plan's marker past articles never looked at.
    m_sink.append(gbk("\r\n正则匹配超过 ") + std::to_string((m_e.m_matchBudget.load().count() + 999) / 1000) +
                  gbk(" 秒仍未完成，已停止，本次不保存文章！"));
    return finish(Kind::TooSlow);
}

PlanRunner::Run::Ending PlanRunner::Run::matchRegion(std::string_view region, MatchResult& into) {
    MatchLimits limits;
    limits.cancel = m_cancel;
    limits.budget = m_e.m_matchBudget.load();
    limits.maxMatches = kMaxMatches;
    limits.keepLast = m_mode == JudgeMode::TimeAscending;  // the newest stand last
    limits.usedGroups =
        groupsUsed(m_rules.titleGroup, m_rules.idGroup, m_rules.otherGroup, m_rules.urlTemplate);
    // By article id the newest are the highest ids, wherever the page puts them.
    if (m_mode == JudgeMode::CompareArticleId)
        limits.rank = [idGroup = m_rules.idGroup](const Match& m) {
            return textToIntChecked(groupText(m, idGroup)).value_or(std::numeric_limits<std::int64_t>::min());
        };
    into = matchAll(*m_expression, region, limits);
    if (into.cancelled) return PlanRunOutcome{};
    if (into.overBudget) return overBudget();
    return std::nullopt;
}

// The matches of the page's list: in the plan's region, or where the last article's marker
// used to stand in for one of the plan's markers when the region no longer holds it.
PlanRunner::Run::Ending PlanRunner::Run::match() {
    m_rules.mode = m_mode;
    m_rules.titleGroup = textToInt(m_plan[kRuleTindex]);
    m_rules.idGroup = textToInt(m_plan[kRuleUindex]);
    m_rules.otherGroup = textToInt(m_plan[kRuleOindex]);
    m_rules.urlTemplate = m_plan[kRuleBuquan];
    m_rules.pageBase = pageBase(m_plan[kRuleUrl], m_source);
    // The marker as this run starts; the write transaction reads it again.
    m_rules.marker = m_plan[kRuleArttile];
    m_rules.lastId = textToInt(m_plan[kRuleLastid]);
    const bool timeMode = m_mode != JudgeMode::CompareArticleId;

    const std::string_view region = textBetweenView(m_source, m_plan[kRuleBefore], m_plan[kRuleAfter]);
    MatchResult matched;
    if (!region.empty())
        if (Ending end = matchRegion(region, matched)) return end;
    const bool markerFound = hasTitle(matched.matches, m_rules.titleGroup, m_rules.marker);
    MatchResult widened;
    if (timeMode && !m_rules.marker.empty() && !markerFound) {
        std::string_view wide = widenedRegion(m_source, m_plan[kRuleBefore], m_plan[kRuleAfter], m_mode);
        if (!wide.empty() && wide != region) {
            if (Ending end = matchRegion(wide, widened)) return end;
            if (!hasTitle(widened.matches, m_rules.titleGroup, m_rules.marker)) widened = MatchResult{};
        }
    }
    const bool useWidened = !widened.matches.empty();
    m_page = std::move(useWidened ? widened : matched);
    if (timeMode && !useWidened && (m_rules.marker.empty() || !markerFound))
        m_sink.append(gbk("源码中末发现最后文章标记！"));
    if (region.empty() && !useWidened) {
        std::string line = gbk("\r\n截取源码为空，可能是 无新文章、采集区域设置、源站无法访问 等原因！");
        if (!m_fetched.error.empty()) line += gbk("（") + m_fetched.error + gbk("）");
        m_sink.append(line);
        const bool failed = m_httpError || (m_nothingCame && !m_fetched.error.empty());
        return PlanRunOutcome::of(failed ? Kind::FetchFailed : Kind::MarkersNotFound, m_failure);
    }

    m_sink.append(gbk("、匹配文章"));
    if (!m_page.error.empty()) m_sink.append(gbk("\r\n正则表达式无法使用：") + m_page.error);
    if (m_page.found > m_page.matches.size())
        m_sink.append(gbk("\r\n本页匹配到 ") + std::to_string(m_page.found) + gbk(" 篇，只看最新的 ") +
                      std::to_string(m_page.matches.size()) + gbk(" 篇"));
    if (m_stop.stop_requested()) return PlanRunOutcome{};
    if (m_page.matches.empty()) {
        m_sink.append(gbk(" 取到 0 篇新文章"));
        if (m_httpError && m_page.error.empty()) return finish(Kind::FetchFailed, m_failure);
        return finish(m_page.error.empty() ? Kind::NoMatches : Kind::ExpressionError, m_page.error);
    }
    return std::nullopt;
}

// The plan's health and what the visit learnt, written with the articles. A run that changed
// neither articles nor the plan's state leaves them to the pass's one commit, when there is one.
std::vector<Statement> PlanRunner::Run::alongside(Transaction& t, const StoreReport& stored,
                                                  const PageVisits::VisitStatement& visit) {
    PlanRunOutcome o = PlanRunOutcome::of(Kind::Stored);
    o.stored = stored.stored;
    const PlanHealthRecord before =
        planHealthFrom(t.run(planHealthQuery(m_planId))).value_or(PlanHealthRecord{});
    writtenHealth = planHealthUpdate(before, m_planId, o, longTimestamp(m_e.m_clock));
    // What is pushed goes to the outbox with what it announces: a crash after the commit
    // loses no message, a crash before it sends none.
    // Only where channels are (a file whose push tables could not be made stores as before).
    std::vector<Statement> also;
    const std::int64_t now = std::time(nullptr);
    const SqlResult channels = t.run(Statement("select 1 from push_channels limit 1"));
    const bool pushing = channels.ok && !channels.rows.empty();
    if (auto health = healthChangePush(m_planId, m_plan[kRuleName], *writtenHealth, now); health && pushing)
        also.push_back(std::move(*health));
    also.push_back(writtenHealth->write);
    if (stored.alerting > 0 && pushing) {
        std::vector<PushArticle> listed;
        for (const auto& a : stored.alertArticles) listed.push_back({a.title, a.url});
        also.push_back(newArticlesPush(m_planId, m_plan[kRuleName], stored.alerting, listed, now));
    }
    PlanRow after = m_plan;
    after[kRuleArttile] = stored.marker;
    after[kRuleLastid] = std::to_string(stored.lastId);
    if (auto v = visit(PageVisits::fingerprint(after))) also.push_back(std::move(*v));
    if (!m_deferred || stored.planUpdated) return also;
    for (Statement& s : also) m_deferred->statements.push_back(std::move(s));
    return {};
}

// The articles, the plan's state, its health and what the visit learnt (all of the page is
// processed: the next visit may ask whether it changed since): one commit.
PlanRunner::Run::Ending PlanRunner::Run::store() {
    StoreRequest request{m_planId, m_plan[kRuleName], m_rules, shortTimestamp(m_e.m_clock), {}};
    const PageVisits::VisitStatement visit = m_e.m_visits.rememberLater(m_planId, m_fetched);
    request.alongside = [&](Transaction& t, const StoreReport& r) { return alongside(t, r, visit); };
    const std::size_t deferredBefore = m_deferred ? m_deferred->statements.size() : 0;
    m_report = storeNewArticles(m_e.m_sql.database(), m_page.matches, std::move(request), m_cancel);
    for (const std::string& badId : m_report.judged.refusedIds)
        m_sink.append(gbk("\r\n文章id “") + badId.substr(0, 40) +
                      gbk("” 超出范围，不是文章id，已跳过该文章"));
    m_sink.append(gbk(" 取到 ") + std::to_string(m_report.stored) + gbk(" 篇新文章"));
    if (m_report.skipped > 0)
        m_sink.append(gbk("（另有 ") + std::to_string(m_report.skipped) + gbk(" 篇此前已保存，已跳过）"));
    if (m_report.dropped > 0)
        m_sink.append(gbk("（另有 ") + std::to_string(m_report.dropped) + gbk(" 篇被标题规则过滤）"));

    if (!m_report.transaction) {
        // What this run would have deferred goes too: a visit kept for a page whose articles
        // were not stored would make the next run skip them as unchanged.
        writtenHealth.reset();
        if (m_deferred)
            m_deferred->statements.erase(
                m_deferred->statements.begin() + static_cast<std::ptrdiff_t>(deferredBefore),
                m_deferred->statements.end());
        if (m_stop.stop_requested() && m_report.results.empty()) return PlanRunOutcome{};
        // Nothing of this run was written and nothing is marked as seen: the next run retries.
        if (!m_report.results.empty())
            m_e.m_sql.echo(m_report.statements.back().display(), m_report.results.back());
        m_sink.append(gbk("\r\n保存失败（") + m_report.transaction.error() +
                      gbk("），本次的文章都未保存，下次提取时重试！"));
        return finish(Kind::StoreFailed, m_report.transaction.error());
    }
    m_e.m_table.writeBack(m_planId, m_report.marker, std::to_string(m_report.lastId), m_cookie);
    if (m_report.alerting > 0) m_e.m_alerts.noteNewArticles();
    return std::nullopt;
}

// Each statement with its result, the first ones paced so the status log can be followed; a
// stop skips the pauses, never the commit before.
PlanRunOutcome PlanRunner::Run::echo() {
    for (std::size_t i = 0; i < m_report.statements.size(); ++i) {
        m_e.m_sql.echo(m_report.statements[i].display(), m_report.results[i]);
        if (i < static_cast<std::size_t>(m_report.stored) && i < kPacedEchoes && !m_stop.stop_requested())
            pauseFor(m_e.m_articlePause.load(), m_stop);
    }
    PlanRunOutcome outcome = finish(Kind::Stored);
    outcome.stored = m_report.stored;
    outcome.skipped = m_report.skipped;
    outcome.dropped = m_report.dropped;
    outcome.alerting = m_report.alerting;
    outcome.alertTitles = m_report.alertTitles;
    outcome.articles = std::move(m_report.articles);
    return outcome;
}

}  // namespace tovi
