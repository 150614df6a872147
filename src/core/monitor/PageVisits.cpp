#include "core/monitor/PageVisits.h"

#include "core/text/Gbk.h"

namespace tovi {

std::string PageVisits::fingerprint(const PlanRow& plan) {
    std::string f;
    for (int k : {kRuleCode, kRuleUrl, kRuleUa, kRuleArttile, kRuleBuquan, kRuleRegular, kRuleBefore,
                  kRuleAfter, kRuleTindex, kRuleUindex, kRuleOindex, kRuleLastid, kRuleType}) {
        f += plan[k];
        f += '\0';
    }
    return f;
}

std::string PageVisits::conditionalHeaders(int planId, const std::string& fingerprint) const {
    std::lock_guard g(m_mutex);
    auto it = m_validators.find(planId);
    if (it == m_validators.end() || it->second.fingerprint != fingerprint) return {};
    std::string lines;
    if (!it->second.etag.empty()) lines += "\r\nIf-None-Match: " + it->second.etag;
    if (!it->second.lastModified.empty()) lines += "\r\nIf-Modified-Since: " + it->second.lastModified;
    return lines;
}

namespace {

// A validator is kept only if it can be sent back as a header value: short, on one line.
std::string sendable(const std::string& value) {
    constexpr std::size_t kMaxValidator = 1024;
    if (value.size() > kMaxValidator ||
        value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return {};
    return value;
}

}  // namespace

void PageVisits::remember(int planId, const std::string& fingerprint, const FetchResult& hostile) {
    FetchResult visit;
    visit.etag = sendable(hostile.etag);
    visit.lastModified = sendable(hostile.lastModified);
    std::lock_guard g(m_mutex);
    if (visit.etag.empty() && visit.lastModified.empty()) {
        m_validators.erase(planId);
        return;
    }
    m_validators[planId] = {fingerprint, wireTextToGbk(visit.etag), wireTextToGbk(visit.lastModified)};
}

void PageVisits::holdOff(int planId, std::chrono::seconds wait) {
    const auto capped = std::min<std::chrono::seconds>(wait, std::chrono::hours(24));
    std::lock_guard g(m_mutex);
    m_holdOff[planId] = Clock::now() + capped;
}

std::optional<std::chrono::seconds> PageVisits::waitLeft(int planId) const {
    std::lock_guard g(m_mutex);
    auto it = m_holdOff.find(planId);
    if (it == m_holdOff.end()) return std::nullopt;
    auto left = it->second - Clock::now();
    if (left <= Clock::duration::zero()) return std::nullopt;
    return std::chrono::ceil<std::chrono::seconds>(left);
}

}  // namespace tovi
