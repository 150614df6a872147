#include "core/monitor/PlanExtractor.h"

#include "core/monitor/AlertNotifier.h"
#include "core/monitor/Pipeline.h"
#include "core/net/Decode.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/plans/PlanTable.h"
#include "core/store/LoggedSql.h"
#include "core/text/Gbk.h"
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

PlanExtractor::PlanExtractor(LoggedSql& sql, PlanTable& table, AlertNotifier& alerts, const Clock& clock,
                             PlanFetcher fetch)
    : m_sql(sql), m_table(table), m_alerts(alerts), m_clock(clock), m_fetch(std::move(fetch)) {}

PlanFetcher PlanExtractor::networkFetcher(FetchLimits limits) {
    return [limits](const std::string& url, std::string& cookie, const std::string& headers,
                    const CancelCheck& cancel) { return HttpRequest(url, cookie, headers, cancel, limits); };
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

void PlanExtractor::runPlan(long long planId, std::stop_token stop) {
    if (!PlanTable::isValidId(planId)) {
        m_sql.sink().append(planIdOutOfRangeLine(std::to_string(planId)));
        return;
    }
    const int id = static_cast<int>(planId);
    RunningGuard running(*this, id, stop);
    if (running.held()) runLocked(id, stop);
}

void PlanExtractor::runLocked(int planId, std::stop_token stop) {
    StatusSink& sink = m_sql.sink();
    const std::string idText = std::to_string(planId);
    auto endLine = [&] {
        sink.append(gbk("\r\n任务") + idText + gbk("已结束----") + ShortTimestamp(m_clock));
    };

    sink.append(gbk("\r\n开始提取 方案") + idText + gbk(" 的新文章 ---- ") + ShortTimestamp(m_clock));
    // A copy: a tree rebuild may refill the table while this run works.
    PlanRow plan = *m_table.row(planId);
    const bool pageIsGbk = plan[kRuleCode] == "1";
    const JudgeMode mode = judgeModeFromText(plan[kRuleType]);
    const std::int64_t storedLastId = TextToInt(plan[kRuleLastid]);
    const Expression expression = Expression::compile(plan[kRuleRegular]);
    if (std::string problem = planRunProblem(plan, expression); !problem.empty()) {
        sink.append(gbk("\r\n方案") + idText + gbk(" 不能运行：") + problem + gbk("，已跳过！"));
        endLine();
        return;
    }
    sink.append(gbk("\r\n正在 采集源码"));

    std::string cookie = plan[kRuleCookie];
    FetchResult fetched = m_fetch(plan[kRuleUrl], cookie, "User-Agent: " + plan[kRuleUa],
                                  [&stop] { return stop.stop_requested(); });
    m_table.setCookie(planId, cookie);
    if (stop.stop_requested()) return;
    std::string source = decodeBody(fetched.body, pageIsGbk);

    sink.append(gbk("、整理源码"));
    source = cleanSource(source);
    sink.append(gbk("、取有效源码"));
    CutResult cut = cutRegion(source, plan[kRuleBefore], plan[kRuleAfter], plan[kRuleArttile], mode);
    if (mode != JudgeMode::CompareArticleId && !cut.markerFound)
        sink.append(gbk("源码中末发现最后文章标记！"));
    if (cut.region.empty()) {
        std::string line = gbk("\r\n截取源码为空，可能是 无新文章、采集区域设置、源站无法访问 等原因！");
        if (!fetched.error.empty()) line += gbk("（") + fetched.error + gbk("）");
        sink.append(line);
        return;
    }

    sink.append(gbk("、匹配文章"));
    MatchLimits limits;
    limits.cancel = [&stop] { return stop.stop_requested(); };
    limits.budget = m_matchBudget;
    MatchResult matched = matchAll(expression, cut.region, limits);
    if (matched.cancelled) return;
    if (matched.overBudget) {
        // A partial list could move the plan's marker past articles never looked at.
        sink.append(gbk("\r\n正则匹配超过 ") + std::to_string((m_matchBudget.count() + 999) / 1000) +
                    gbk(" 秒仍未完成，已停止，本次不保存文章！"));
        endLine();
        return;
    }
    if (!matched.error.empty()) sink.append(gbk("\r\n正则表达式无法使用：") + matched.error);
    const std::size_t n = matched.matches.size();
    sink.append(gbk(" 取到 ") + std::to_string(n) + gbk(" 篇新文章"));
    if (n == 0 || stop.stop_requested()) {
        if (n == 0) endLine();
        return;
    }

    // Judge from the last match to the first: the first match of the page is stored last and
    // gets the highest row id, so the list (newest row first) shows page order.
    const std::int64_t titleGroup = TextToInt(plan[kRuleTindex]);
    const std::int64_t idGroup = TextToInt(plan[kRuleUindex]);
    const std::int64_t otherGroup = TextToInt(plan[kRuleOindex]);
    std::int64_t highestId = storedLastId;
    std::string lastUrl;
    std::vector<Statement> statements;
    const std::string now = ShortTimestamp(m_clock);
    for (std::size_t i = n; i-- > 0;) {
        const Match& m = matched.matches[i];
        if (mode == JudgeMode::CompareArticleId) {
            std::int64_t articleId = TextToInt(groupText(m, idGroup));
            if (articleId <= storedLastId) continue;
            if (articleId > highestId) highestId = articleId;
        }
        lastUrl = composeUrl(plan[kRuleBuquan], m);
        statements.emplace_back(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,?,?,0)",
            std::vector<SqlValue>{plan[kRuleName], static_cast<std::int64_t>(planId),
                                  groupText(m, titleGroup), lastUrl, groupText(m, otherGroup), now});
    }
    const std::size_t inserts = statements.size();
    if (mode == JudgeMode::CompareArticleId && inserts == 0) {
        endLine();
        return;
    }
    // In TimeAscending the newest article stands last on the page: its title starts the next
    // run's region, so only unseen articles follow it.
    const Match& marker = mode == JudgeMode::TimeAscending ? matched.matches.back() : matched.matches.front();
    const std::string arttile = groupText(marker, titleGroup);
    const std::string lastIdText = std::to_string(highestId);
    statements.emplace_back(
        "update rule set arttile=?,arturl=?,lasttime=?,lastid=? where id=?",
        std::vector<SqlValue>{arttile, lastUrl, now, highestId, static_cast<std::int64_t>(planId)});

    // The articles and the plan update land together: an interrupted run neither loses
    // articles nor stores them twice.
    std::vector<SqlResult> results =
        m_sql.database().runTransaction(statements, [&stop] { return stop.stop_requested(); });
    bool stored = false;
    for (std::size_t i = 0; i < inserts; ++i) stored = stored || results[i].ok;
    if (results.back().ok || stored) {
        m_table.writeBack(planId, arttile, lastIdText, cookie);
    }
    if (stored) m_alerts.noteNewArticles();

    // Echo each statement with its result, paced as the status log always was; a stop skips
    // the pauses, never the commit above.
    for (std::size_t i = 0; i < statements.size(); ++i) {
        m_sql.echo(statements[i].display(), results[i]);
        if (i < inserts && !stop.stop_requested()) pauseFor(m_articlePause.load(), stop);
    }
    endLine();
}

}  // namespace tovi
