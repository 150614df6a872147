// push: channels that tell phones, chat groups, mail and webhooks about new articles.
#include <CLI/CLI.hpp>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/push/PushChannel.h"
#include "core/push/Pushes.h"
#include "core/text/Gbk.h"

namespace tovi::cli {
namespace {

struct PushOptions {
    std::string url, name, plans, events, quiet, format = "text";
    std::int64_t id = 0;
};

std::string stateText(const PushChannel& c) {
    if (!c.note.empty()) return c.note;
    if (c.nextTry > std::time(nullptr)) return gbk("等待重试");
    return gbk("正常");
}

int addChannel(Context& ctx, const PushOptions& o) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    PushChannel c;
    c.url = o.url;
    c.name = gbk(o.name);
    Result<int> events = pushEventsFrom(o.events);
    if (!events) {
        printLine(ctx.err, events.error());
        return kUsage;
    }
    c.events = *events;
    c.plans = o.plans;
    c.quiet = o.quiet;
    Result<std::int64_t> id = addPushChannel(*db, c);
    if (!id) {
        printLine(ctx.err, id.error());
        return kUsage;
    }
    printLine(ctx.out, gbk("已添加推送渠道 ") + std::to_string(*id) + gbk("：") + maskedPushUrl(o.url));
    return kOk;
}

int listChannels(Context& ctx, const PushOptions& o) {
    Database* db = ctx.database();
    if (!db) return o.format == "json" ? printJsonError(ctx.out, gbk("数据库打开失败"), kFailed) : kFailed;
    const std::vector<PushChannel> channels = loadPushChannels(*db);
    if (o.format == "json") {
        nlohmann::json list = nlohmann::json::array();
        for (const PushChannel& c : channels)
            list.push_back({{"id", c.id},
                            {"name", gbkToUtf8(c.name)},
                            {"url", gbkToUtf8(maskedPushUrl(c.url))},
                            {"plans", c.plans},
                            {"events", pushEventsText(c.events)},
                            {"quiet", c.quiet},
                            {"waiting", c.waiting},
                            {"failures", c.failures},
                            {"note", gbkToUtf8(c.note)}});
        printJson(ctx.out, list);
        return kOk;
    }
    if (channels.empty()) {
        printLine(ctx.out, gbk("还没有推送渠道（用 push add 网址 添加）"));
        return kOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const PushChannel& c : channels)
        rows.push_back({std::to_string(c.id), c.name, maskedPushUrl(c.url),
                        c.plans.empty() ? gbk("全部") : c.plans, pushEventsText(c.events),
                        c.quiet.empty() ? "-" : c.quiet, std::to_string(c.waiting), stateText(c)});
    printTable(ctx.out,
               {gbk("编号"), gbk("名称"), gbk("地址"), gbk("方案"), gbk("事件"), gbk("免打扰"), gbk("待发"),
                gbk("状态")},
               rows);
    return kOk;
}

std::optional<PushChannel> existingChannel(Context& ctx, Database& db, std::int64_t id) {
    auto c = loadPushChannel(db, id);
    if (!c) printLine(ctx.err, gbk("没有编号为 ") + std::to_string(id) + gbk(" 的推送渠道（见 push list）"));
    return c;
}

int testChannels(Context& ctx, const PushOptions& o) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    std::vector<PushChannel> channels;
    if (o.id) {
        auto c = existingChannel(ctx, *db, o.id);
        if (!c) return kUsage;
        channels.push_back(*c);
    } else {
        channels = loadPushChannels(*db);
    }
    if (channels.empty()) {
        printLine(ctx.err, gbk("还没有推送渠道（用 push add 网址 添加）"));
        return kFailed;
    }
    bool allTaken = true;
    for (const PushChannel& c : channels) {
        const PushTestResult r = sendTestPush(c);
        allTaken = allTaken && r.accepted;
        printLine(r.accepted ? ctx.out : ctx.err, gbk("推送渠道 ") + std::to_string(c.id) + "[" + c.name +
                                                      "]" + (r.accepted ? gbk("：已送达 ") : gbk("：失败 ")) +
                                                      r.answer);
    }
    return allTaken ? kOk : kFailed;
}

int removeChannel(Context& ctx, const PushOptions& o) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    if (!existingChannel(ctx, *db, o.id)) return kUsage;
    if (Result<> removed = removePushChannel(*db, o.id); !removed) {
        printLine(ctx.err, removed.error());
        return kFailed;
    }
    return kOk;
}

int flush(Context& ctx) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    PushFlushOptions options;
    options.ignoreBackOff = true;  // asked for now
    const PushFlushReport report = flushPushes(*db, options);
    for (const std::string& line : report.lines)
        printLine(report.failed || report.givenUp ? ctx.err : ctx.out, line);
    return report.failed || report.givenUp ? kFailed : kOk;
}

}  // namespace

void addPushCommands(CLI::App& app, Action& chosen) {
    auto o = std::make_shared<PushOptions>();
    auto* push =
        app.add_subcommand("push", "push channels: new articles and plan health to phones, chats, mail");
    push->require_subcommand(1);
    auto* add = push->add_subcommand("add", "add a channel (its URL names the service, see README)");
    add->add_option("url", o->url, "ntfy://host/topic, tgram://TOKEN/CHAT, dingtalk://TOKEN/SECRET, ...")
        ->required();
    add->add_option("--name", o->name, "a name to know it by");
    add->add_option("--plans", o->plans, "only these plans: 1,3 (default: every plan)");
    add->add_option("--events", o->events, "new, health or new,health (default: both)");
    add->add_option("--quiet", o->quiet, "quiet hours, local time: 22:00-07:00 (messages wait)");
    add->callback([&chosen, o] { chosen = [o](Context& ctx) { return addChannel(ctx, *o); }; });
    auto* list = push->add_subcommand("list", "the channels, their tokens masked");
    list->add_option("--format", o->format, "text or json")->check(CLI::IsMember({"text", "json"}));
    list->callback([&chosen, o] { chosen = [o](Context& ctx) { return listChannels(ctx, *o); }; });
    auto* test = push->add_subcommand("test", "send a test message now and print the service's answer");
    test->add_option("id", o->id, "the channel (default: every channel)")->check(wholeNumber(1));
    test->callback([&chosen, o] { chosen = [o](Context& ctx) { return testChannels(ctx, *o); }; });
    auto* remove = push->add_subcommand("remove", "remove a channel and what waits for it");
    remove->add_option("id", o->id, "the channel")->required()->check(wholeNumber(1));
    remove->callback([&chosen, o] { chosen = [o](Context& ctx) { return removeChannel(ctx, *o); }; });
    auto* flushCommand = push->add_subcommand("flush", "send what waits now (past any back-off)");
    flushCommand->callback([&chosen] { chosen = [](Context& ctx) { return flush(ctx); }; });
}

}  // namespace tovi::cli
