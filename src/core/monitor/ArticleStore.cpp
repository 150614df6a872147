#include "core/monitor/ArticleStore.h"

#include <algorithm>
#include <unordered_set>

#include "core/text/TextToInt.h"

namespace tovi {
namespace {

const char* const kInsertArticle =
    "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,?,?,0)";
// Seen: stored, or kept out by the title rules before.
const char* const kFindArticle =
    "select 1 from info where planid=? and title=? and url=? "
    "union all select 1 from seen_articles where planid=? and title=? and url=? limit 1";
const char* const kRememberDropped = "insert into seen_articles(planid,title,url) values(?,?,?)";
// What the rules kept out is remembered for the newest this many per plan: twice what one run
// looks at, so an older one has long left the page, and the table never grows without bound.
constexpr std::int64_t kSeenPerPlan = 20000;
const char* const kForgetOldSeen =
    "delete from seen_articles where planid=? and rowid <= "
    "(select rowid from seen_articles where planid=? order by rowid desc limit 1 offset ?)";

// Listed with their links in what is pushed; the rest are counted.
constexpr std::size_t kAlertArticles = 10;

struct LastArticle {
    std::string arttile, arturl, lasttime;
    std::int64_t lastid = 0;
};

std::optional<LastArticle> readLastArticle(Transaction& t, int planId) {
    SqlResult r = t.run(Statement("select arttile, arturl, lasttime, lastid from rule where id=?",
                                  {static_cast<std::int64_t>(planId)}));
    if (!r.ok || r.rows.empty()) return std::nullopt;
    const auto& row = r.rows[0];
    return LastArticle{cellOf(row, 0), cellOf(row, 1), cellOf(row, 2), textToInt(cellOf(row, 3))};
}

// Positions of the page's candidates from the newest article to the oldest: a time-ascending
// page has its newest at the bottom, the others at the top.
std::vector<std::size_t> newestFirstOrder(std::size_t count, JudgeMode mode) {
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = mode == JudgeMode::TimeAscending ? count - 1 - i : i;
    return order;
}

}  // namespace

StoreReport storeNewArticles(Database& db, const std::vector<Match>& page, StoreRequest request,
                             const CancelCheck& cancel) {
    StoreReport report;
    JudgeRules& rules = request.rules;
    const auto planId = static_cast<std::int64_t>(request.planId);
    auto run = [&](Transaction& t, Statement statement) {
        report.statements.push_back(std::move(statement));
        report.results.push_back(t.run(report.statements.back()));
        return report.results.back().ok;
    };
    report.transaction = db.writeTransaction(
        [&](Transaction& t) {
            // Another program may have run this plan since this run began: its state counts.
            std::optional<LastArticle> last = readLastArticle(t, request.planId);
            if (last) {
                rules.marker = last->arttile;
                rules.lastId = last->lastid;
            }
            // How the plan composes links, read with its state: a link composed the other way
            // would store an article seen before as new.
            SqlResult linkSwitch = t.run(
                Statement("select browser_links, json_text from plan_options where planid=?", {planId}));
            if (!linkSwitch.ok) return false;
            const bool browserLinks = !linkSwitch.rows.empty() && cellOf(linkSwitch.rows[0], 0) == "1";
            rules.linkBase = browserLinks ? rules.pageBase : std::string();
            rules.jsonText = !linkSwitch.rows.empty() && cellOf(linkSwitch.rows[0], 1) == "1";
            // The title rules as they stand now (the plan's own, else those for every plan).
            SqlResult ruleRows = t.run(Statement(kRulesQuery, {planId}));
            const TitleRules titleRules = rulesFromRows(ruleRows.rows, request.planId);
            const TitleFilter filter(titleRules);
            report.judged = judgeMatches(page, rules);
            auto& cands = report.judged.candidates;
            // An article already seen (this plan, same title and link) is never new again;
            // one that stands twice on the page counts where it stands first.
            std::unordered_set<std::string> onPage;  // title NUL url of the fresh ones so far
            auto seenBefore = [&](const Candidate& c) -> std::optional<bool> {
                const Statement find(kFindArticle, {planId, c.title, c.url, planId, c.title, c.url});
                SqlResult seen = t.run(find);
                if (!seen.ok) {
                    report.statements.push_back(find);
                    report.results.push_back(seen);
                    return std::nullopt;
                }
                return !seen.rows.empty() || !onPage.insert(c.title + '\0' + c.url).second;
            };
            std::vector<bool> fresh(cands.size(), false);
            for (std::size_t i = 0; i < cands.size(); ++i) {
                const std::optional<bool> already = seenBefore(cands[i]);
                if (!already) return false;
                if (*already)
                    ++report.skipped;
                else
                    fresh[i] = true;
            }
            // The marker on a row that stays on top: the first run of unseen articles below it
            // is new (a pinned thread above the board's newest). Rows seen before are passed
            // over quietly; the next seen row after the run ends it.
            if (std::find(fresh.begin(), fresh.end(), true) == fresh.end()) {
                bool inRun = false;
                for (Candidate& c : report.judged.belowMarker) {
                    const std::optional<bool> already = seenBefore(c);
                    if (!already) return false;
                    if (*already && inRun) break;
                    if (*already) continue;
                    inRun = true;
                    cands.push_back(std::move(c));
                    fresh.push_back(true);
                }
            }
            // store[i]: to be stored (fresh and let in by the rules); alerts[i]: stored and raising
            // the alert.
            std::vector<bool> store(cands.size(), false), alerts(cands.size(), false);
            for (std::size_t i = 0; i < cands.size(); ++i) {
                if (!fresh[i]) continue;
                const bool passes = filter.passes(cands[i].title);
                if (titleRules.action == TitleRules::Action::Store && !passes) {
                    ++report.dropped;
                    continue;
                }
                store[i] = true;
                ++report.stored;
                alerts[i] = passes;
                if (passes) ++report.alerting;
            }
            const std::vector<std::size_t> newestFirst = newestFirstOrder(cands.size(), rules.mode);
            for (std::size_t i : newestFirst) {
                if (alerts[i] && report.alertArticles.size() < kAlertArticles)
                    report.alertArticles.push_back({cands[i].title, cands[i].url});
                if (store[i] && report.articles.size() < PlanRunOutcome::kListedArticles)
                    report.articles.push_back({cands[i].title, cands[i].url});
            }
            for (std::size_t k = 0; k < report.alertArticles.size() && k < 5; ++k)
                report.alertTitles.push_back(report.alertArticles[k].title);
            // Kept out by the rules, but seen: such an article never comes back as new. Oldest
            // first, so the newest get the highest row ids and are the last to be forgotten.
            bool remembered = false;
            for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
                if (const std::size_t i = *it; fresh[i] && !store[i]) {
                    if (!run(t, Statement(kRememberDropped, {planId, cands[i].title, cands[i].url})))
                        return false;
                    remembered = true;
                }
            if (remembered && !t.run(Statement(kForgetOldSeen, {planId, planId, kSeenPerPlan})).ok)
                return false;
            // The newest article is stored last and gets the highest row id, so the list (newest
            // row first) reads newest to oldest whichever way the page runs.
            for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
                if (const std::size_t i = *it;
                    store[i] &&
                    !run(t, Statement(kInsertArticle, {request.planName, planId, cands[i].title, cands[i].url,
                                                       cands[i].other, request.now})))
                    return false;

            // The remembered article is one article: the newest seen this run (or, when the marker
            // was lost and nothing was new, the newest on the page, so it is found next time).
            const bool timeMode = rules.mode != JudgeMode::CompareArticleId;
            if (report.stored + report.dropped == 0 && timeMode && !report.judged.markerFound)
                fresh.assign(cands.size(), true);
            const int newest = newestWithTitle(cands, fresh, rules.mode);
            report.marker = newest >= 0 ? cands[newest].title : rules.marker;
            report.lastId = report.judged.highestId;
            report.planUpdated = report.stored + report.dropped > 0 || report.marker != rules.marker ||
                                 report.lastId > rules.lastId;
            if (report.planUpdated) {
                const std::string arturl =
                    newest >= 0 ? cands[newest].url : (last ? last->arturl : std::string());
                // lasttime is the time of the last run that stored articles.
                const std::string lasttime = report.stored > 0 || !last ? request.now : last->lasttime;
                if (!run(t, Statement("update rule set arttile=?,arturl=?,lasttime=?,lastid=? where id=?",
                                      {report.marker, arturl, lasttime, report.lastId, planId})))
                    return false;
            }
            if (!request.alongside) return true;
            for (Statement& s : request.alongside(t, report)) {
                SqlResult written = t.run(s);
                if (written.ok) continue;
                report.statements.push_back(std::move(s));
                report.results.push_back(std::move(written));
                return false;
            }
            return true;
        },
        cancel);
    if (!report.transaction) report.planUpdated = false;
    return report;
}

}  // namespace tovi
