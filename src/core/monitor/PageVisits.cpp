#include "core/monitor/PageVisits.h"

#include <curl/curl.h>

#include <ctime>

#include "core/store/Database.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A validator is kept only if it can be sent back as a header value: short, on one line.
std::string sendable(const std::string& value) {
    constexpr std::size_t kMaxValidator = 1024;
    if (value.size() > kMaxValidator ||
        value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return {};
    return value;
}

// Seconds since 1970 of an HTTP date; nullopt when it is no date curl can read.
std::optional<std::int64_t> httpDateSeconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const std::int64_t t = curl_getdate(text.c_str(), nullptr);
    if (t == -1) return std::nullopt;
    return t;
}

// A site's Last-Modified is sent back only when it can hide no change: a date we cannot read,
// one ahead of our clock (beyond a little skew) or of the site's own Date, or one in the very
// second the page was served (a change later in that second would carry the same date) makes
// the site answer 304 to pages that did change.
std::string trustworthyLastModified(const FetchResult& visit, std::int64_t now) {
    constexpr std::int64_t kClockSkew = 300;
    const std::optional<std::int64_t> modified = httpDateSeconds(visit.lastModified);
    if (!modified || *modified > now + kClockSkew) return {};
    if (const auto served = httpDateSeconds(visit.date); served && *modified >= *served) return {};
    return visit.lastModified;
}

// The fingerprint as stored: a hash in hex (the plan's texts themselves need not be kept twice).
std::string digest(const std::string& fingerprint) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : fingerprint) h = (h ^ c) * 1099511628211ull;
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace

std::string PageVisits::fingerprint(const PlanRow& plan) {
    std::string f;
    for (int k : {kRuleCode, kRuleUrl, kRuleUa, kRuleArttile, kRuleBuquan, kRuleRegular, kRuleBefore,
                  kRuleAfter, kRuleTindex, kRuleUindex, kRuleOindex, kRuleLastid, kRuleType}) {
        f += plan[k];
        f += '\0';
    }
    return digest(f);
}

PageVisits::Visit PageVisits::load(int planId) const {
    if (!m_db) {
        auto it = m_visits.find(planId);
        return it == m_visits.end() ? Visit{} : it->second;
    }
    // Held by another program: nothing is known, and the page is simply fetched whole.
    SqlResult r = m_db->runWithoutWaiting(Statement(
        "select fingerprint, etag, last_modified, visited, hold_until from page_visits where planid=?",
        {static_cast<std::int64_t>(planId)}));
    if (!r.ok || r.rows.empty()) return {};
    const auto& row = r.rows[0];
    // What another program (or a damaged file) left is checked as a site's answer is.
    return {cellOf(row, 0), sendable(cellOf(row, 1)), sendable(cellOf(row, 2)), textToInt(cellOf(row, 3)),
            textToInt(cellOf(row, 4))};
}

void PageVisits::store(int planId, const Visit& v) {
    if (!m_db) {
        m_visits[planId] = v;
        return;
    }
    m_db->run(storeStatement(planId, v));
}

Statement PageVisits::storeStatement(int planId, const Visit& v) {
    return Statement(
        "insert or replace into page_visits(planid, fingerprint, etag, last_modified, visited, "
        "hold_until) values(?,?,?,?,?,?)",
        {static_cast<std::int64_t>(planId), v.fingerprint, v.etag, v.lastModified, v.visited, v.holdUntil});
}

std::string PageVisits::conditionalHeaders(int planId, const std::string& fingerprint) const {
    std::lock_guard g(m_mutex);
    const Visit v = load(planId);
    if (v.visited == 0 || v.fingerprint != fingerprint) return {};
    // Once a day the page comes whole whatever the site would answer: validators that never
    // change (a site's bug) hide at most a day of articles.
    // (A visit time ahead of our clock was written by a clock that was wrong.)
    const std::int64_t age = nowSeconds() - v.visited;
    if (age < 0 || age >= std::chrono::seconds(kWholePageEvery).count()) return {};
    // Only what the site gave, as it gave it: a time of our own clock could be later than a
    // change the site made while the page was on its way (or waiting to be stored).
    std::string lines;
    if (!v.etag.empty()) lines += "\r\nIf-None-Match: " + v.etag;
    if (!v.lastModified.empty()) lines += "\r\nIf-Modified-Since: " + v.lastModified;
    return lines;
}

PageVisits::Visit PageVisits::visited(Visit v, const std::string& fingerprint,
                                      const FetchResult& visit) const {
    v.fingerprint = fingerprint;
    v.etag = sendable(wireTextToGbk(visit.etag));
    v.visited = nowSeconds();
    v.lastModified = sendable(wireTextToGbk(trustworthyLastModified(visit, v.visited)));
    return v;
}

void PageVisits::remember(int planId, const std::string& fingerprint, const FetchResult& visit) {
    std::lock_guard g(m_mutex);
    store(planId, visited(load(planId), fingerprint, visit));
}

PageVisits::VisitStatement PageVisits::rememberLater(int planId, const FetchResult& visit) const {
    if (!m_db) return [](const std::string&) { return std::optional<Statement>(); };
    Visit before;
    {
        std::lock_guard g(m_mutex);
        before = load(planId);
    }
    FetchResult validators;  // what the visit taught, without the page itself
    validators.etag = visit.etag;
    validators.lastModified = visit.lastModified;
    validators.date = visit.date;
    return [this, planId, before, validators](const std::string& fingerprint) -> std::optional<Statement> {
        return storeStatement(planId, visited(before, fingerprint, validators));
    };
}

void PageVisits::holdOff(int planId, std::chrono::seconds wait) {
    const auto capped = std::min<std::chrono::seconds>(wait, kMaxHoldOff);
    std::lock_guard g(m_mutex);
    Visit v = load(planId);
    v.holdUntil = nowSeconds() + capped.count();
    store(planId, v);
}

std::optional<std::chrono::seconds> PageVisits::waitLeft(int planId) const {
    std::lock_guard g(m_mutex);
    const Visit v = load(planId);
    const std::int64_t left = v.holdUntil - nowSeconds();
    if (v.holdUntil == 0 || left <= 0) return std::nullopt;
    // A hold written by a clock far ahead never lasts beyond the longest a site may ask.
    return std::chrono::seconds(std::min<std::int64_t>(left, std::chrono::seconds(kMaxHoldOff).count()));
}

}  // namespace tovi
