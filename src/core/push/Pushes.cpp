#include "core/push/Pushes.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <nlohmann/json.hpp>
#include <random>

#include "core/articles/AtomFeed.h"
#include "core/push/PushChannel.h"
#include "core/push/PushServices.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

constexpr int kMessagesPerFlush = 20;  // per channel; the rest go after the next pass
constexpr int kClaimBatch = 200;

std::int64_t nowOf(const PushFlushOptions& o) {
    return o.now ? o.now() : static_cast<std::int64_t>(std::time(nullptr));
}

const std::string& hostName() {
    static const std::string name = [] {
        char text[256] = {0};
        return ::gethostname(text, sizeof text - 1) == 0 ? std::string(text) : std::string("?");
    }();
    return name;
}

// host|pid|random: whose claim it is, and whether that program still runs.
std::string newClaimToken() {
    std::random_device rd;
    return hostName() + "|" + std::to_string(::getpid()) + "|" + std::to_string(rd()) + std::to_string(rd());
}

bool claimantGone(const std::string& claim) {
    const auto a = claim.find('|');
    const auto b = claim.find('|', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos || claim.substr(0, a) != hostName()) return false;
    const auto pid = textToIntChecked(claim.substr(a + 1, b - a - 1));
    if (!pid || *pid <= 0 || *pid == ::getpid()) return false;
    return ::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH;
}

std::string isoTime(std::int64_t now) {
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    localtime_r(&t, &local);
    return localRfc3339(local);
}

std::string channelLabel(const PushChannel& c) {
    return gbk("推送渠道 ") + std::to_string(c.id) + "[" + c.name + "]";
}

std::int64_t backOff(int failures) {
    std::int64_t seconds = 30;
    for (int i = 1; i < failures && seconds < 3600; ++i) seconds *= 2;
    return std::min<std::int64_t>(seconds, 3600);
}

class ChannelFlush {
public:
    ChannelFlush(Database& db, const PushChannel& c, const PushFlushOptions& o, PushFlushReport& report)
        : m_db(db), m_c(c), m_o(o), m_report(report), m_now(nowOf(o)), m_token(newClaimToken()) {}

    void operator()() {
        giveUpExpired();
        if (!m_o.ignoreBackOff && m_c.nextTry > m_now) return;
        const std::time_t t = static_cast<std::time_t>(m_now);
        std::tm local{};
        localtime_r(&t, &local);
        if (inQuietHours(m_c.quiet, local)) return;
        Result<PushAddress> address = parsePushUrl(m_c.url);
        if (!address) {
            fail(address.error(), {}, {});
            return;
        }
        m_address = *address;
        m_secrets = pushSecrets(m_address);
        const ServiceLimits limits = serviceLimits(m_address);
        for (int i = 0; i < kMessagesPerFlush; ++i) {
            if (m_o.cancel && m_o.cancel()) return;
            if (limits.perWindow && sentWithin(limits.windowSeconds) >= limits.perWindow)
                return;  // they wait
            std::vector<PushEvent> events = claim();
            if (events.empty()) return;
            PushMessage message = composeDigest(events, limits.form, limits.bytes, isoTime(m_now));
            std::vector<std::int64_t> unused;
            for (const PushEvent& e : events)
                if (std::find(message.eventIds.begin(), message.eventIds.end(), e.id) ==
                    message.eventIds.end())
                    unused.push_back(e.id);
            release(unused, false);
            const PushAnswer answer =
                sendPushRequest(buildPushRequest(m_address, message, m_now * 1000), m_o.timeout, m_o.cancel);
            if (m_o.cancel && m_o.cancel()) {
                release(message.eventIds, false);  // sent or not, the next pass decides: nothing is marked
                return;
            }
            const PushVerdict verdict = judgePushAnswer(m_address, answer);
            if (!verdict.accepted) {
                fail(verdict.why, message.eventIds, verdict.retryAfter);
                return;
            }
            markSent(message.eventIds);
        }
    }

private:
    void giveUpExpired() {
        int count = 0;
        const std::int64_t before = m_now - kPushGiveUpSeconds;
        std::string line;
        (void)m_db.writeTransaction([&](Transaction& t) {
            SqlResult r =
                t.run(Statement("select count(*) from push_outbox where channel=? and state=0 and "
                                "first_failure>0 and first_failure<=?",
                                {m_c.id, before}));
            count = r.rows.empty() ? 0 : static_cast<int>(textToInt(cellOf(r.rows[0], 0)));
            if (count == 0) return true;
            line = channelLabel(m_c) + gbk("：") + std::to_string(count) +
                   gbk(" 条消息 24 小时未能送达，已放弃（") + m_c.note + gbk("）");
            return t.run(Statement("update push_outbox set state=2, claim='' where channel=? and state=0 and "
                                   "first_failure>0 and first_failure<=?",
                                   {m_c.id, before}))
                       .ok &&
                   t.run(Statement("update push_channels set note=? where id=?", {line, m_c.id})).ok;
        });
        if (count == 0 || line.empty()) return;
        m_report.givenUp += count;
        m_report.lines.push_back(line);
    }

    int sentWithin(int seconds) {
        SqlResult r = m_db.run(
            Statement("select count(*) from push_sends where channel=? and at>?", {m_c.id, m_now - seconds}));
        return r.rows.empty() ? 0 : static_cast<int>(textToInt(cellOf(r.rows[0], 0)));
    }

    // The oldest waiting events nobody else is sending, claimed for this flush.
    std::vector<PushEvent> claim() {
        std::vector<PushEvent> events;
        const Result<> claimed = m_db.writeTransaction([&](Transaction& t) {
            events.clear();
            SqlResult r = t.run(Statement(
                "select id,kind,planid,planname,total,lines,created,claim,claim_until from push_outbox "
                "where channel=? and state=0 order by id limit ?",
                {m_c.id, static_cast<std::int64_t>(kClaimBatch)}));
            if (!r.ok) return false;
            for (const auto& row : r.rows) {
                const std::string& owner = cellOf(row, 7);
                // Oldest first: events behind one another program is sending wait for it.
                if (!owner.empty() && textToInt(cellOf(row, 8)) >= m_now && !claimantGone(owner)) break;
                PushEvent e;
                e.id = textToInt(cellOf(row, 0));
                e.kind = cellOf(row, 1) == "health" ? PushEvent::Kind::Health : PushEvent::Kind::NewArticles;
                e.planId = static_cast<int>(textToInt(cellOf(row, 2)));
                e.planName = cellOf(row, 3);
                e.total = static_cast<int>(textToInt(cellOf(row, 4)));
                e.lines = cellOf(row, 5);
                e.created = textToInt(cellOf(row, 6));
                events.push_back(std::move(e));
            }
            const std::int64_t until = m_now + m_o.timeout.count() / 1000 + 60;
            for (const PushEvent& e : events)
                if (!t.run(Statement("update push_outbox set claim=?, claim_until=? where id=?",
                                     {m_token, until, e.id}))
                         .ok)
                    return false;
            return true;
        });
        if (!claimed) events.clear();
        return events;
    }

    void release(const std::vector<std::int64_t>& ids, bool failed) {
        if (ids.empty()) return;
        std::vector<Statement> statements;
        for (std::int64_t id : ids)
            statements.emplace_back(
                failed ? "update push_outbox set claim='', claim_until=0, "
                         "first_failure=case when first_failure=0 then ? else first_failure end where id=? "
                         "and claim=?"
                       : "update push_outbox set claim='', claim_until=0 where id=? and claim=?",
                failed ? std::vector<SqlValue>{m_now, id, m_token} : std::vector<SqlValue>{id, m_token});
        (void)m_db.runTransaction(statements);
    }

    void fail(const std::string& why, const std::vector<std::int64_t>& ids,
              std::optional<std::int64_t> retryAfter) {
        release(ids, true);
        const int failures = m_c.failures + 1;
        const std::int64_t wait =
            retryAfter ? std::clamp<std::int64_t>(*retryAfter, 1, kPushGiveUpSeconds) : backOff(failures);
        const std::string note = maskSecrets(why, m_secrets);
        (void)m_db.run(Statement("update push_channels set failures=?, next_try=?, note=? where id=?",
                                 {static_cast<std::int64_t>(failures), m_now + wait, note, m_c.id}));
        ++m_report.failed;
        m_report.lines.push_back(channelLabel(m_c) + gbk(" 发送失败：") + note + gbk("，") +
                                 std::to_string(wait) + gbk(" 秒后重试"));
    }

    void markSent(const std::vector<std::int64_t>& ids) {
        std::vector<Statement> statements;
        for (std::int64_t id : ids)
            statements.emplace_back("update push_outbox set state=1, sent=?, claim='' where id=? and claim=?",
                                    std::vector<SqlValue>{m_now, id, m_token});
        statements.emplace_back("insert into push_sends(channel, at) values(?, ?)",
                                std::vector<SqlValue>{m_c.id, m_now});
        statements.emplace_back("update push_channels set failures=0, next_try=0, note='' where id=?",
                                std::vector<SqlValue>{m_c.id});
        // Kept a while for `push list`, then let go: the tables never grow without bound.
        statements.emplace_back("delete from push_sends where at<?",
                                std::vector<SqlValue>{m_now - 2 * 86400});
        statements.emplace_back("delete from push_outbox where state<>0 and created<?",
                                std::vector<SqlValue>{m_now - 7 * 86400});
        (void)m_db.runTransaction(statements);
        m_c.failures = 0;
        ++m_report.sent;
        m_report.lines.push_back(channelLabel(m_c) + gbk("：已送达（") + std::to_string(ids.size()) +
                                 gbk(" 条事件）"));
    }

    Database& m_db;
    PushChannel m_c;
    const PushFlushOptions& m_o;
    PushFlushReport& m_report;
    const std::int64_t m_now;
    const std::string m_token;
    PushAddress m_address;
    std::vector<std::string> m_secrets;
};

}  // namespace

PushFlushReport flushPushes(Database& db, const PushFlushOptions& options) {
    PushFlushReport report;
    for (const PushChannel& c : loadPushChannels(db)) {
        if (options.channel && *options.channel != c.id) continue;
        if (options.cancel && options.cancel()) break;
        ChannelFlush(db, c, options, report)();
    }
    return report;
}

PushTestResult sendTestPush(const PushChannel& channel, const PushFlushOptions& options) {
    PushTestResult result;
    Result<PushAddress> address = parsePushUrl(channel.url);
    if (!address) {
        result.answer = address.error();
        return result;
    }
    const std::int64_t now = nowOf(options);
    PushMessage message;
    message.title = "Tovidesk \xE6\x8E\xA8\xE9\x80\x81\xE6\xB5\x8B\xE8\xAF\x95";  // 推送测试
    const std::string text = gbkToUtf8(gbk("这是 Tovidesk 的测试消息（") + isoTime(now) +
                                       gbk("）。能看到它，说明这个推送渠道可用。"));
    const ServiceLimits limits = serviceLimits(*address);
    if (limits.form == PushForm::Json)
        message.text = nlohmann::json{{"source", "tovidesk"},   {"time", isoTime(now)},
                                      {"title", message.title}, {"test", true},
                                      {"text", text},           {"events", nlohmann::json::array()}}
                           .dump();
    else
        message.text = text;
    const PushAnswer answer =
        sendPushRequest(buildPushRequest(*address, message, now * 1000), options.timeout, options.cancel);
    const PushVerdict verdict = judgePushAnswer(*address, answer);
    result.accepted = verdict.accepted;
    std::string said = answer.status ? "HTTP " + std::to_string(answer.status) : std::string();
    if (!answer.body.empty())
        said += (said.empty() ? "" : " ") + wireTextToGbk(utf8Prefix(answer.body, 2000));
    if (!verdict.accepted) said = verdict.why + (said.empty() ? "" : gbk("（") + said + gbk("）"));
    result.answer = maskSecrets(said, pushSecrets(*address));
    return result;
}

}  // namespace tovi
