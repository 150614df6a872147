#include "core/plans/PlanEditing.h"

#include "core/plans/PlanExport.h"
#include "core/plans/PlanOptions.h"
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

Result<SavedPlan> insertPlan(Database& db, const PlanFields& f) {
    SavedPlan result;
    std::string refusal;
    const std::string uindex = f.uindex.empty() ? "0" : f.uindex;
    // A new plan's statement is shown and copied in its export form, without the id it gets
    // here, so it can be run in another tovi.sdb.
    result.statement = planInsertSql(ruleRowOf(f));
    SqlResult inserted;
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        auto freeId = lowestFreeId(t);
        if (!freeId) return false;
        if (*freeId > kMaxPlanId) {
            refusal = gbk("方案已有 200 个，不能再新建；请先删除不用的方案。");
            return false;
        }
        result.id = static_cast<int>(*freeId);
        // The id may have been freed by hand (SQL): what was kept for its old plan goes first.
        if (!forgetPlanLeftovers(t, *freeId)) return false;
        inserted = t.run(Statement(
            "insert into rule(id,isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,ua,"
            "class,name,type) values(?,'0',?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
            {*freeId, f.code, f.url, f.before, f.after, f.regular, f.buquan, f.cookie, f.tindex, uindex,
             f.oindex, f.ua, f.classNumber, f.name, std::to_string(f.type)}));
        if (inserted.ok) inserted = recordPlanSwitches(t, *freeId, {f.browserLinks, f.render, f.jsonText});
        return inserted.ok;
    });
    if (committed) return result;
    if (refusal.empty()) refusal = inserted.error.empty() ? committed.error() : inserted.error;
    return Error{refusal, result.statement};
}

Result<SavedPlan> updatePlan(Database& db, const PlanFields& f, std::int64_t id) {
    SavedPlan result;
    result.id = static_cast<int>(id);
    const std::string uindex = f.uindex.empty() ? "0" : f.uindex;
    Statement st(
        "update rule set code=?,url=?,before=?,after=?,regular=?,buquan=?,cookie=?,tindex=?,uindex=?,"
        "oindex=?,ua=?,class=?,name=?,type=? where id=?",
        {f.code, f.url, f.before, f.after, f.regular, f.buquan, f.cookie, textToInt(f.tindex),
         textToInt(uindex), textToInt(f.oindex), f.ua, f.classNumber, f.name, std::to_string(f.type), id});
    result.statement = st.display();
    SqlResult r = db.run(st);
    if (!r.ok) return Error{r.error, result.statement};
    if (db.run(Statement("select 1 from rule where id=?", {id})).rows.empty())
        return Error{gbk("方案 ") + std::to_string(id) + gbk(" 已不存在（可能已被删除）。"),
                     result.statement};
    return result;
}

}  // namespace

std::vector<std::string> ruleRowOf(const PlanFields& f) {
    const std::string uindex = f.uindex.empty() ? "0" : f.uindex;
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

Result<SavedPlan> savePlan(Database& db, const PlanFields& f, std::int64_t id) {
    // A plan without a page or an expression can never find an article.
    const bool noUrl = trimSpaces(f.url).empty(), noExpression = trimSpaces(f.regular).empty();
    if (noUrl || noExpression)
        return Error{noUrl ? gbk("监控网址不能为空，方案没有保存") : gbk("正则匹配不能为空，方案没有保存")};
    return id == 0 ? insertPlan(db, f) : updatePlan(db, f, id);
}

std::optional<std::int64_t> lowestFreeId(Transaction& t) {
    SqlResult r = t.run("select id from rule where id between 1 and 200 order by id");
    if (!r.ok) return std::nullopt;
    std::int64_t expected = 1;
    for (const auto& row : r.rows) {
        std::int64_t id = textToInt(row[0]);
        if (id > expected) break;
        if (id == expected) ++expected;
    }
    return expected;
}

bool forgetPlanLeftovers(Transaction& t, std::int64_t id) {
    // Its articles are the user's: they stay (all articles, favourites) under their plan name,
    // but under no id, so a later plan with this id neither lists nor counts them, nor takes
    // them for articles it has already seen.
    for (const char* sql :
         {"delete from title_rules where planid=?", "delete from plan_health where planid=?",
          "delete from seen_articles where planid=?", "delete from page_visits where planid=?",
          "delete from plan_options where planid=?", "update info set planid=0 where planid=?"})
        if (!t.run(Statement(sql, {id})).ok) return false;
    return true;
}

namespace {
// What a delete takes, by table and the column naming the plan. The names are our own.
constexpr std::pair<const char*, const char*> kPlanTables[] = {
    {"rule", "id"},
    {"title_rules", "planid"},
    {"plan_health", "planid"},
    {"seen_articles", "planid"},
    {"page_visits", "planid"},
    {"plan_options", "planid"},
};

// Copies of what the plan leaves, on this connection only (temp tables), for an undo.
bool keepAside(Transaction& t, std::int64_t id) {
    for (const auto& [table, column] : kPlanTables) {
        const std::string aside = std::string("temp.undo_") + table;
        if (!t.run("DROP TABLE IF EXISTS " + aside).ok ||
            !t.run(Statement("CREATE TABLE " + aside + " AS SELECT * FROM main." + table + " WHERE " +
                                 column + "=?",
                             {id}))
                 .ok)
            return false;
    }
    return t.run("DROP TABLE IF EXISTS temp.undo_info").ok &&
           t.run(Statement("CREATE TABLE temp.undo_info AS SELECT id FROM main.info WHERE planid=?", {id}))
               .ok;
}

SqlResult deleteOnePlan(Database& db, std::int64_t id, bool undoable) {
    SqlResult deleted;
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        if (undoable && !keepAside(t, id)) return false;
        deleted = t.run(Statement("DELETE FROM rule WHERE id=?", {id}));
        return deleted.ok && forgetPlanLeftovers(t, id);
    });
    if (!committed) {
        deleted.ok = false;
        deleted.error = committed.error();
    }
    return deleted;
}
}  // namespace

SqlResult deletePlan(Database& db, std::int64_t id) { return deleteOnePlan(db, id, false); }

SqlResult deletePlanUndoably(Database& db, std::int64_t id) { return deleteOnePlan(db, id, true); }

Result<> undoPlanDelete(Database& db, std::int64_t id) {
    std::string why;
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        SqlResult kept = t.run(Statement("SELECT count(*) FROM temp.undo_rule WHERE id=?", {id}));
        if (!kept.ok || kept.rows.empty() || cellOf(kept.rows[0], 0) != "1") {
            why = gbk("没有可撤销的删除");
            return false;
        }
        SqlResult taken = t.run(Statement("SELECT count(*) FROM main.rule WHERE id=?", {id}));
        if (!taken.ok || taken.rows.empty() || cellOf(taken.rows[0], 0) != "0") {
            why = gbk("编号 ") + std::to_string(id) + gbk(" 已被另一个方案使用，无法撤销");
            return false;
        }
        for (const auto& entry : kPlanTables)
            if (!t.run(std::string("INSERT INTO main.") + entry.first + " SELECT * FROM temp.undo_" +
                       entry.first)
                     .ok)
                return false;
        if (!t
                 .run(Statement(
                     "UPDATE main.info SET planid=? WHERE planid=0 AND id IN (SELECT id FROM temp.undo_info)",
                     {id}))
                 .ok)
            return false;
        for (const auto& entry : kPlanTables) t.run(std::string("DROP TABLE temp.undo_") + entry.first);
        t.run("DROP TABLE temp.undo_info");
        return true;
    });
    if (!committed) return Error{why.empty() ? committed.error() : why};
    return {};
}

SqlResult toggleDefaultFlag(Database& db, std::int64_t id, const std::string& isdoText) {
    std::int64_t next = textToInt(isdoText) == 0 ? 1 : 0;
    return db.run(Statement("update rule set isdo=? where id=?", {next, id}));
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
