#pragma once
// What the program remembers of each plan's page between visits, for as long as it runs: the
// validators of the last visit whose page was fully processed (so the next visit can ask "has
// it changed?"), and how long a site asked it to stay away.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/net/Fetch.h"
#include "core/plans/PlanTable.h"

namespace tovi {

class PageVisits {
public:
    using Clock = std::chrono::steady_clock;

    // What decides which articles a page gives: a page unchanged since a visit gives nothing new
    // only while the plan is as it was at that visit.
    static std::string fingerprint(const PlanRow& plan);

    // "If-None-Match" / "If-Modified-Since" header lines (each after CR LF) for the plan's next
    // visit, or empty text when there is nothing to ask.
    std::string conditionalHeaders(int planId, const std::string& fingerprint) const;
    // After a visit whose page was fully processed (articles stored or none new).
    void remember(int planId, const std::string& fingerprint, const FetchResult& visit);

    // A 429 or 503 with Retry-After: the plan's page is left alone until then (at most a day).
    void holdOff(int planId, std::chrono::seconds wait);
    // How long the plan still has to wait; nullopt when it may go.
    std::optional<std::chrono::seconds> waitLeft(int planId) const;

private:
    struct Validators {
        std::string fingerprint, etag, lastModified;
    };
    mutable std::mutex m_mutex;
    std::map<int, Validators> m_validators;
    std::map<int, Clock::time_point> m_holdOff;
};

}  // namespace tovi
