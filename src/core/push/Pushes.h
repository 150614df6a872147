#pragma once
// Sending what waits in the outbox: after each pass, and on request. Per channel, oldest first,
// one digest at a time; a failure leaves the events waiting with a growing back-off, and a day
// of failures gives them up with a note on the channel. Events are claimed in the database
// before they are sent, so two programs on one tovi.sdb never send the same event twice.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/net/Fetch.h"
#include "core/push/PushStore.h"

namespace tovi {

struct PushFlushOptions {
    std::function<std::int64_t()> now;         // epoch seconds; empty: the system clock
    std::chrono::milliseconds timeout{30000};  // one send, at most
    CancelCheck cancel;
    std::optional<std::int64_t> channel;  // only this channel
    bool ignoreBackOff = false;           // a user's "send now"
};

struct PushFlushReport {
    int sent = 0;                    // messages the services took
    int failed = 0;                  // sends that failed (their events wait)
    int givenUp = 0;                 // events given up after a day of failures
    std::vector<std::string> lines;  // GBK: what the status box and the terminal say
};

constexpr std::int64_t kPushGiveUpSeconds = 24 * 3600;

PushFlushReport flushPushes(Database& db, const PushFlushOptions& options = {});

struct PushTestResult {
    bool accepted = false;
    std::string answer;  // GBK: what the service said (secrets masked)
};
// A test message to the channel now, past the outbox, quiet hours and back-off.
PushTestResult sendTestPush(const PushChannel& channel, const PushFlushOptions& options = {});

}  // namespace tovi
