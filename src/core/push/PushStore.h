#pragma once
// The push channels and the outbox, in tovi.sdb (tables the Windows version never reads). An
// event is written to the outbox by the statement that stores what it announces, in the same
// transaction, and leaves it only when a service took it or after a day of trying.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/plans/PlanHealth.h"
#include "core/push/PushDigest.h"
#include "core/store/Database.h"

namespace tovi {

enum PushEventMask : int { kPushNewArticles = 1, kPushHealth = 2 };

struct PushChannel {
    std::int64_t id = 0;
    std::string url;    // as written; it holds secrets: show maskedPushUrl(url)
    std::string name;   // GBK
    std::string plans;  // "1,3"; empty: every plan
    int events = kPushNewArticles | kPushHealth;
    std::string quiet;         // "22:00-07:00" (local time); empty: none
    int failures = 0;          // sends in a row that failed
    std::int64_t nextTry = 0;  // epoch seconds: not before
    std::string note;          // GBK: the last failure, or what was given up
    int waiting = 0;           // events waiting to be sent
};

// "1, 3,1" -> "1,3"; each a plan id 1..200.
Result<std::string> normalPlanList(const std::string& text);
// "new,health" -> the mask; empty text: both.
Result<int> pushEventsFrom(const std::string& text);
std::string pushEventsText(int events);
// "22:00-07:00"; empty: none.
Result<> checkQuietHours(const std::string& text);
bool inQuietHours(const std::string& quiet, const std::tm& local);

// Checks the channel (its URL above all) and adds it; its id.
Result<std::int64_t> addPushChannel(Database& db, const PushChannel& channel);
std::vector<PushChannel> loadPushChannels(Database& db);
std::optional<PushChannel> loadPushChannel(Database& db, std::int64_t id);
// The channel and what waits for it.
Result<> removePushChannel(Database& db, std::int64_t id);

// Whether new articles are pushed at all (the tray's "推送新文章"); plan health always is.
bool pushNewArticlesOn(Database& db);
Result<> setPushNewArticles(Database& db, bool on);

// The statement that queues a plan's new articles for every channel that wants them.
Statement newArticlesPush(int planId, const std::string& planName, int alerting,
                          const std::vector<PushArticle>& listed, std::int64_t now);
// The statement that queues a plan's health change; it queues nothing when the plan's record no
// longer holds failuresBefore (another program already wrote this change, and announced it).
Statement healthPush(int planId, const std::string& planName, const std::string& line, int failures,
                     int failuresBefore, std::int64_t now);

// The statement that announces a plan that just broke ("方案 N 连续 3 次失败：原因") or just
// recovered; nullopt when its health did not change that way.
std::optional<Statement> healthChangePush(int planId, const std::string& planName,
                                          const PlanHealthUpdate& update, std::int64_t now);

}  // namespace tovi
