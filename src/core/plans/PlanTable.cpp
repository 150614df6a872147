#include "core/plans/PlanTable.h"

#include "core/store/Database.h"
#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {

std::string planIdOutOfRangeLine(const std::string& idText) {
    return gbk("\r\n方案 ") + idText + gbk(" 的编号不在 1-200 之内，已跳过！");
}

std::optional<PlanRow> PlanTable::row(long long id) const {
    if (!isValidId(id)) return std::nullopt;
    std::lock_guard g(m_mutex);
    PlanRow r = m_rows[id];
    r[kRuleId] = std::to_string(id);
    return r;
}

void PlanTable::writeBack(int id, const std::string& arttile, const std::string& lastid,
                          const std::string& cookie) {
    if (!isValidId(id)) return;
    std::lock_guard g(m_mutex);
    m_rows[id][kRuleArttile] = arttile;
    m_rows[id][kRuleLastid] = lastid;
    m_rows[id][kRuleCookie] = cookie;
}

void PlanTable::setCookie(int id, const std::string& cookie) {
    if (!isValidId(id)) return;
    std::lock_guard g(m_mutex);
    m_rows[id][kRuleCookie] = cookie;
}

void PlanTable::setRendering(const std::vector<int>& ids) {
    std::lock_guard lock(m_mutex);
    m_render.fill(false);
    for (int id : ids)
        if (isValidId(id)) m_render[id] = true;
}

bool PlanTable::renders(long long id) const {
    std::lock_guard lock(m_mutex);
    return isValidId(id) && m_render[id];
}

std::string PlanTable::ownCookie(long long id) const {
    if (!isValidId(id)) return {};
    std::lock_guard g(m_mutex);
    return m_own[id];
}

void PlanTable::fill(const SqlResult& rules, StatusSink* sink) {
    for (const auto& cells : rules.rows) {
        if (cells.empty()) continue;
        auto id = textToInt(cells[kRuleId]);
        if (!isValidId(id)) {
            if (sink) sink->append(planIdOutOfRangeLine(cells[kRuleId]));
            continue;
        }
        std::lock_guard g(m_mutex);
        PlanRow& r = m_rows[id];
        const std::string merged = r[kRuleCookie];
        for (std::size_t k = 1; k < cells.size() && k < r.size(); ++k) r[k] = cells[k];
        if (r[kRuleCookie] == m_own[id] && r[kRuleUrl] == m_ownUrl[id] && !merged.empty()) {
            r[kRuleCookie] = merged;
        } else {
            m_own[id] = r[kRuleCookie];
            m_ownUrl[id] = r[kRuleUrl];
        }
    }
}

}  // namespace tovi
