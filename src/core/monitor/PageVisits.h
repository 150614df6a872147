#pragma once
// What the program remembers of each plan's page between visits: the validators of the last
// visit whose page was fully processed (so the next visit can ask "has it changed?"), when that
// visit was, and how long a site asked it to stay away. With a database it is kept in tovi.sdb
// (table page_visits), so the next process (a cron run) asks and waits too.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/net/Fetch.h"
#include "core/plans/PlanTable.h"
#include "core/store/Statement.h"

namespace tovi {

class Database;

class PageVisits {
public:
    // Longest a site may hold a plan off, whatever its Retry-After says.
    static constexpr std::chrono::hours kMaxHoldOff{24};
    // However the site answers, the page is fetched whole at least this often.
    static constexpr std::chrono::hours kWholePageEvery{24};

    PageVisits() = default;
    // Kept in tovi.sdb beside the plans.
    explicit PageVisits(Database& db) : m_db(&db) {}

    // What decides which articles a page gives: a page unchanged since a visit gives nothing new
    // only while the plan is as it was at that visit.
    static std::string fingerprint(const PlanRow& plan);

    // "If-None-Match" / "If-Modified-Since" header lines (each after CR LF) for the plan's next
    // visit, or empty text when there is nothing to ask: only the validators the site gave at
    // the last complete visit, and none once that visit is a day old.
    std::string conditionalHeaders(int planId, const std::string& fingerprint) const;
    // After a visit whose page was fully processed (articles stored or none new).
    void remember(int planId, const std::string& fingerprint, const FetchResult& visit);
    // The same, for a caller that writes it together with the visit's articles: read now (the
    // plan's stored visit), written as the statement the returned function gives for the
    // fingerprint the plan has after the run. Without a database there is no statement and
    // remember() keeps it.
    using VisitStatement = std::function<std::optional<Statement>(const std::string& fingerprint)>;
    VisitStatement rememberLater(int planId, const FetchResult& visit) const;

    // A 429 or 503 with Retry-After: the plan's page is left alone until then (at most a day).
    void holdOff(int planId, std::chrono::seconds wait);
    // How long the plan still has to wait; nullopt when it may go.
    std::optional<std::chrono::seconds> waitLeft(int planId) const;

private:
    struct Visit {
        std::string fingerprint, etag, lastModified;
        std::int64_t visited = 0;    // seconds since 1970 of the last complete visit; 0: none
        std::int64_t holdUntil = 0;  // seconds since 1970; 0: no hold
    };
    Visit load(int planId) const;
    void store(int planId, const Visit& visit);
    Visit visited(Visit v, const std::string& fingerprint, const FetchResult& visit) const;
    static Statement storeStatement(int planId, const Visit& visit);

    Database* m_db = nullptr;
    mutable std::mutex m_mutex;
    std::map<int, Visit> m_visits;  // without a database
};

}  // namespace tovi
