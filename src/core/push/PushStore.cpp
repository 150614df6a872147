#include "core/push/PushStore.h"

#include <set>

#include "core/plans/PlanTable.h"
#include "core/push/PushChannel.h"
#include "core/store/AppState.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

const char* const kOutboxColumns =
    "insert into push_outbox(channel,kind,planid,planname,total,lines,created,first_failure,state,claim,"
    "claim_until,sent) select id,?,?,?,?,?,?,0,0,'',0,0 from push_channels ";
const char* const kWants = "(plans = '' or instr(',' || plans || ',', ',' || ? || ',') > 0)";

// The items of a comma list, without the spaces and tabs around them, the empty ones left out.
std::vector<std::string> commaParts(const std::string& text) {
    std::vector<std::string> parts;
    for (const std::string& item : gbkSplit(text, ",")) {
        const auto a = item.find_first_not_of(" \t");
        if (a != std::string::npos) parts.push_back(item.substr(a, item.find_last_not_of(" \t") - a + 1));
    }
    return parts;
}

std::optional<int> minuteOfDay(const std::string& hhmm) {
    const auto colon = hhmm.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || hhmm.size() - colon != 3)
        return std::nullopt;
    const auto h = textToIntChecked(hhmm.substr(0, colon));
    const auto m = textToIntChecked(hhmm.substr(colon + 1));
    if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59) return std::nullopt;
    return static_cast<int>(*h * 60 + *m);
}

PushChannel channelFrom(const std::vector<std::string>& row) {
    PushChannel c;
    c.id = textToInt(cellOf(row, 0));
    c.url = cellOf(row, 1);
    c.name = cellOf(row, 2);
    c.plans = cellOf(row, 3);
    c.events = static_cast<int>(textToInt(cellOf(row, 4)));
    c.quiet = cellOf(row, 5);
    c.failures = static_cast<int>(textToInt(cellOf(row, 6)));
    c.nextTry = textToInt(cellOf(row, 7));
    c.note = cellOf(row, 8);
    c.waiting = static_cast<int>(textToInt(cellOf(row, 9)));
    return c;
}

const char* const kChannelQuery =
    "select id,url,name,plans,events,quiet,failures,next_try,note,"
    "(select count(*) from push_outbox o where o.channel=c.id and o.state=0) from push_channels c ";

}  // namespace

Result<std::string> normalPlanList(const std::string& text) {
    std::set<std::int64_t> ids;
    for (const std::string& part : commaParts(text)) {
        const auto id = textToIntChecked(part);
        if (!id || !PlanTable::isValidId(*id))
            return Error{gbk("方案编号 “") + part.substr(0, 20) + gbk("” 有误：应是 1 到 200 的整数")};
        ids.insert(*id);
    }
    std::string out;
    for (std::int64_t id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
    return out;
}

Result<int> pushEventsFrom(const std::string& text) {
    int events = 0;
    for (const std::string& part : commaParts(text)) {
        if (part == "new")
            events |= kPushNewArticles;
        else if (part == "health")
            events |= kPushHealth;
        else
            return Error{gbk("推送事件 “") + part.substr(0, 20) + gbk("” 不认识（可用：new、health）")};
    }
    return events ? events : kPushNewArticles | kPushHealth;
}

std::string pushEventsText(int events) {
    std::string out;
    if (events & kPushNewArticles) out = "new";
    if (events & kPushHealth) out += out.empty() ? "health" : ",health";
    return out;
}

Result<> checkQuietHours(const std::string& text) {
    if (text.empty()) return {};
    const auto dash = text.find('-');
    if (dash == std::string::npos || !minuteOfDay(text.substr(0, dash)) ||
        !minuteOfDay(text.substr(dash + 1)) || text.substr(0, dash) == text.substr(dash + 1))
        return Error{gbk("免打扰时段 “") + text.substr(0, 20) + gbk("” 有误，应写作 22:00-07:00")};
    return {};
}

bool inQuietHours(const std::string& quiet, const std::tm& local) {
    if (!checkQuietHours(quiet) || quiet.empty()) return false;
    const auto dash = quiet.find('-');
    const int from = *minuteOfDay(quiet.substr(0, dash));
    const int to = *minuteOfDay(quiet.substr(dash + 1));
    const int now = local.tm_hour * 60 + local.tm_min;
    return from < to ? (now >= from && now < to) : (now >= from || now < to);
}

Result<std::int64_t> addPushChannel(Database& db, const PushChannel& c) {
    Result<PushAddress> address = parsePushUrl(c.url);
    if (!address) return Error{address.error()};
    Result<std::string> plans = normalPlanList(c.plans);
    if (!plans) return Error{plans.error()};
    if (Result<> quiet = checkQuietHours(c.quiet); !quiet) return Error{quiet.error()};
    if ((c.events & (kPushNewArticles | kPushHealth)) == 0)
        return Error{gbk("至少要推送一种事件（new、health）")};
    const std::string name = c.name.empty() ? pushServiceName(address->service) : c.name;
    SqlResult r =
        db.run(Statement("insert into push_channels(url,name,plans,events,quiet,failures,next_try,note) "
                         "values(?,?,?,?,?,0,0,'')",
                         {c.url, name.substr(0, 200), *plans, static_cast<std::int64_t>(c.events), c.quiet}));
    if (!r.ok) return Error{gbk("保存推送渠道失败：") + r.error};
    SqlResult id = db.run("select max(id) from push_channels");
    return textToInt(id.rows.empty() ? std::string() : cellOf(id.rows[0], 0));
}

std::vector<PushChannel> loadPushChannels(Database& db) {
    std::vector<PushChannel> out;
    SqlResult r = db.run(std::string(kChannelQuery) + "order by id");
    for (const auto& row : r.rows) out.push_back(channelFrom(row));
    return out;
}

std::optional<PushChannel> loadPushChannel(Database& db, std::int64_t id) {
    SqlResult r = db.run(Statement(std::string(kChannelQuery) + "where id=?", {id}));
    if (r.rows.empty()) return std::nullopt;
    return channelFrom(r.rows[0]);
}

Result<> removePushChannel(Database& db, std::int64_t id) {
    if (!loadPushChannel(db, id)) return Error{gbk("没有编号为 ") + std::to_string(id) + gbk(" 的推送渠道")};
    const auto results = db.runTransaction({Statement("delete from push_outbox where channel=?", {id}),
                                            Statement("delete from push_sends where channel=?", {id}),
                                            Statement("delete from push_channels where id=?", {id})});
    for (const SqlResult& r : results)
        if (!r.ok) return Error{gbk("删除推送渠道失败：") + r.error};
    return {};
}

bool pushNewArticlesOn(Database& db) { return appState(db, "push_new").value_or("1") != "0"; }

Result<> setPushNewArticles(Database& db, bool on) { return setAppState(db, "push_new", on ? "1" : "0"); }

Statement newArticlesPush(int planId, const std::string& planName, int alerting,
                          const std::vector<PushArticle>& listed, std::int64_t now) {
    const std::int64_t id = planId;
    return Statement(std::string(kOutboxColumns) + "where (events & 1) != 0 and " + kWants +
                         " and coalesce((select value from app_state where key='push_new'), '1') <> '0'",
                     {std::string("new"), id, planName, static_cast<std::int64_t>(alerting),
                      pushArticleLines(listed), now, std::to_string(planId)});
}

Statement healthPush(int planId, const std::string& planName, const std::string& line, int failures,
                     int failuresBefore, std::int64_t now) {
    const std::int64_t id = planId;
    return Statement(std::string(kOutboxColumns) + "where (events & 2) != 0 and " + kWants +
                         " and coalesce((select failures from plan_health where planid=?), 0) = ?",
                     {std::string("health"), id, planName, static_cast<std::int64_t>(failures), line, now,
                      std::to_string(planId), id, static_cast<std::int64_t>(failuresBefore)});
}

std::optional<Statement> healthChangePush(int planId, const std::string& planName, const PlanHealthUpdate& u,
                                          std::int64_t now) {
    const std::string id = std::to_string(planId);
    std::string line;
    if (u.after.broken() && !u.before.broken())
        line = gbk("方案 ") + id + gbk(" 连续 ") + std::to_string(u.after.failures) + gbk(" 次失败：") +
               u.after.outcome;
    else if (u.before.broken() && !u.after.broken())
        line = gbk("方案 ") + id + gbk(" 已恢复正常：") + u.after.outcome;
    else
        return std::nullopt;
    return healthPush(planId, planName, line, u.after.failures, u.before.failures, now);
}

}  // namespace tovi
