#include "core/plans/PlanEditing.h"

#include "core/plans/PlanTable.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

const char* const kEditorDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/38.0.2125.122 Safari/537.36 "
    "SE 2.X "
    "MetaSr 1.0";

namespace {

constexpr const char* kInsertColumns =
    "insert into "
    "rule(isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,ua,class,url,name,type)";

std::optional<std::int64_t> lowestFreeId(Database& db) {
    SqlResult r = db.run("select id from rule where id between 1 and 200 order by id");
    if (!r.ok) return std::nullopt;
    std::int64_t expected = 1;
    for (const auto& row : r.rows) {
        std::int64_t id = TextToInt(row[0]);
        if (id > expected) break;
        if (id == expected) ++expected;
    }
    return expected <= kMaxPlanId ? std::optional(expected) : std::nullopt;
}

// The editor's values as a rule row, for the export form of a new plan.
std::vector<std::string> ruleRowOf(const PlanFields& f, const std::string& uindex) {
    std::vector<std::string> row(kRuleColumnCount);
    row[kRuleClass] = std::to_string(f.classNumber);
    row[kRuleCode] = f.code;
    row[kRuleName] = f.name;
    row[kRuleUrl] = f.url;
    row[kRuleCookie] = f.cookie;
    row[kRuleUa] = f.ua;
    row[kRuleBuquan] = f.buquan;
    row[kRuleRegular] = f.regular;
    row[kRuleBefore] = f.before;
    row[kRuleAfter] = f.after;
    row[kRuleTindex] = f.tindex;
    row[kRuleUindex] = uindex;
    row[kRuleOindex] = f.oindex;
    row[kRuleType] = std::to_string(f.type);
    return row;
}

}  // namespace

PlanSaveResult savePlan(Database& db, const PlanFields& f, std::int64_t id) {
    PlanSaveResult result;
    const std::string uindex = f.uindex.empty() ? "0" : f.uindex;
    Statement st;
    if (id == 0) {
        auto freeId = lowestFreeId(db);
        if (!freeId) {
            result.error = db.isOpen() && db.lastError().empty()
                               ? gbk("方案已有 200 个，不能再新建；请先删除不用的方案。")
                               : db.lastError();
            return result;
        }
        result.id = static_cast<int>(*freeId);
        st = Statement(
            "insert into rule(id,isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,ua,"
            "class,name,type) values(?,'0',?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
            {*freeId, f.code, f.url, f.before, f.after, f.regular, f.buquan, f.cookie, f.tindex, uindex,
             f.oindex, f.ua, f.classNumber, f.name, std::to_string(f.type)});
    } else {
        result.id = static_cast<int>(id);
        st = Statement(
            "update rule set code=?,url=?,before=?,after=?,regular=?,buquan=?,cookie=?,tindex=?,uindex=?,"
            "oindex=?,ua=?,class=?,name=?,type=? where id=?",
            {f.code, f.url, f.before, f.after, f.regular, f.buquan, f.cookie, TextToInt(f.tindex),
             TextToInt(uindex), TextToInt(f.oindex), f.ua, f.classNumber, f.name, std::to_string(f.type),
             id});
    }
    // A new plan's statement is shown and copied in its export form, without the id it got
    // here, so it can be run in another tovi.sdb.
    result.statement = id == 0 ? planInsertSql(ruleRowOf(f, uindex)) : st.display();
    SqlResult r = db.run(st);
    if (r.ok && id != 0 && db.run(Statement("select 1 from rule where id=?", {id})).rows.empty()) {
        result.error = gbk("方案 ") + std::to_string(id) + gbk(" 已不存在（可能已被删除）。");
        return result;
    }
    result.ok = r.ok;
    if (!r.ok) result.error = r.error;
    return result;
}

SqlResult deletePlan(Database& db, std::int64_t id) {
    return db.run(Statement("DELETE FROM rule WHERE id=?", {id}));
}

SqlResult toggleDefaultFlag(Database& db, std::int64_t id, const std::string& isdoText) {
    std::int64_t next = TextToInt(isdoText) == 0 ? 1 : 0;
    return db.run(Statement("update rule set isdo=? where id=?", {next, id}));
}

std::string planInsertSql(const std::vector<std::string>& row) {
    auto cell = [&](int k) { return cellOf(row, k); };
    Statement st(
        std::string(kInsertColumns) + " values('0',?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        {cell(kRuleCode), cell(kRuleUrl), cell(kRuleBefore), cell(kRuleAfter), cell(kRuleRegular),
         cell(kRuleBuquan), cell(kRuleCookie), cell(kRuleTindex), cell(kRuleUindex), cell(kRuleOindex),
         cell(kRuleUa), TextToInt(cell(kRuleClass)), cell(kRuleUrl), cell(kRuleName), cell(kRuleType)});
    return st.display();
}

std::string exportPlansSql(const std::vector<std::vector<std::string>>& rows) {
    std::string text =
        gbk("下面为导出的方案对应SQL语句，高级设置中，执行SQL语句，可快速新建本方案！\r\n\r\n");
    // Each statement ends with ";" so several exported plans run as one text in the console.
    for (const auto& row : rows) text += planInsertSql(row) + ";\r\n\r\n";
    return text;
}

std::vector<std::string> planListHeaders(const std::vector<std::string>& columns) {
    std::vector<std::string> headers;
    for (std::size_t i = 0; i < columns.size(); ++i) headers.push_back(std::to_string(i) + columns[i]);
    return headers;
}

std::string categoriesFromEditorText(const std::string& text) {
    return gbkReplaceAll("<" + gbkReplaceAll(text, "\r\n", "><") + ">", "<>", "");
}

}  // namespace tovi
