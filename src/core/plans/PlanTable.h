#pragma once
// The in-memory copy of table rule that monitoring runs read: 200 rows (plan ids 1-200) of
// 20 text cells in the table's column order. Runs copy their row and write back three cells
// under the table's lock, so a tree rebuild during a one-shot pass is safe.
#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/store/Schema.h"

namespace tovi {

class StatusSink;
struct SqlResult;

using PlanRow = std::array<std::string, kRuleColumnCount>;

class PlanTable {
public:
    static bool isValidId(long long id) { return id >= 1 && id <= kMaxPlanId; }

    // A copy of the plan's row; nullopt for an id outside 1-200.
    std::optional<PlanRow> row(long long id) const;
    // What a run writes back: the last article marker, the highest id seen and the cookie.
    void writeBack(int id, const std::string& arttile, const std::string& lastid, const std::string& cookie);
    void setCookie(int id, const std::string& cookie);
    // The cookie the user gave the plan (as stored in tovi.sdb), without what sites set since:
    // only this one is a login.
    std::string ownCookie(long long id) const;

    // Copies cells 1-19 of every row of "select * from rule" into the row of its id. Rows whose
    // id is outside 1-200 are skipped, with a status line saying so. Rows of plans that are
    // not in the result keep the texts they had. A plan whose stored cookie and page are
    // unchanged keeps the cookies its site set (a session the site renews survives a refill); a
    // cookie or page the user changed (or a new plan under a freed id) starts afresh.
    void fill(const SqlResult& rules, StatusSink* sink);
    // The plans whose pages are loaded in a browser (read with the rows, so a run need not ask).
    void setRendering(const std::vector<int>& ids);
    bool renders(long long id) const;

private:
    mutable std::mutex m_mutex;
    std::array<PlanRow, kMaxPlanId + 1> m_rows{};        // index 0 unused
    std::array<std::string, kMaxPlanId + 1> m_own{};     // each plan's stored cookie
    std::array<std::string, kMaxPlanId + 1> m_ownUrl{};  // and its page, when the sites' were merged
    std::array<bool, kMaxPlanId + 1> m_render{};
};

// "\r\n方案 N 的编号不在 1-200 之内，已跳过！"
std::string planIdOutOfRangeLine(const std::string& idText);

}  // namespace tovi
