#include "core/plans/PlanEditing.h"

#include <map>

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

std::optional<std::int64_t> lowestFreeId(Transaction& t) {
    SqlResult r = t.run("select id from rule where id between 1 and 200 order by id");
    if (!r.ok) return std::nullopt;
    std::int64_t expected = 1;
    for (const auto& row : r.rows) {
        std::int64_t id = TextToInt(row[0]);
        if (id > expected) break;
        if (id == expected) ++expected;
    }
    return expected;
}

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
        {f.code, f.url, f.before, f.after, f.regular, f.buquan, f.cookie, TextToInt(f.tindex),
         TextToInt(uindex), TextToInt(f.oindex), f.ua, f.classNumber, f.name, std::to_string(f.type), id});
    result.statement = st.display();
    SqlResult r = db.run(st);
    if (!r.ok) return Error{r.error, result.statement};
    if (db.run(Statement("select 1 from rule where id=?", {id})).rows.empty())
        return Error{gbk("方案 ") + std::to_string(id) + gbk(" 已不存在（可能已被删除）。"), result.statement};
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

SqlResult deletePlan(Database& db, std::int64_t id) {
    SqlResult deleted;
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        deleted = t.run(Statement("DELETE FROM rule WHERE id=?", {id}));
        return deleted.ok && forgetPlanLeftovers(t, id);
    });
    if (!committed) {
        deleted.ok = false;
        deleted.error = committed.error();
    }
    return deleted;
}

SqlResult toggleDefaultFlag(Database& db, std::int64_t id, const std::string& isdoText) {
    std::int64_t next = TextToInt(isdoText) == 0 ? 1 : 0;
    return db.run(Statement("update rule set isdo=? where id=?", {next, id}));
}

std::string planInsertSql(const std::vector<std::string>& row, bool keepTick) {
    auto cell = [&](int k) { return cellOf(row, k); };
    const std::string isdo = keepTick && TextToInt(cell(kRuleIsdo)) == 1 ? "1" : "0";
    Statement st(
        std::string(kInsertColumns) + " values('" + isdo + "',?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        {cell(kRuleCode), cell(kRuleUrl), cell(kRuleBefore), cell(kRuleAfter), cell(kRuleRegular),
         cell(kRuleBuquan), cell(kRuleCookie), cell(kRuleTindex), cell(kRuleUindex), cell(kRuleOindex),
         cell(kRuleUa), TextToInt(cell(kRuleClass)), cell(kRuleUrl), cell(kRuleName), cell(kRuleType)});
    return st.display();
}

namespace {

const std::string& exportHeader() {
    static const std::string header =
        gbk("下面为导出的方案对应SQL语句，高级设置中，执行SQL语句，可快速新建本方案！");
    return header;
}

// The rows an import text inserts, caught in a table of the same name and shape that stands in
// front of the plans for as long as the text runs.
constexpr const char* kImportTable =
    "CREATE TEMP TABLE rule(id INTEGER PRIMARY KEY, class INTEGER, code TEXT, name TEXT, url TEXT, "
    "cookie TEXT, ua TEXT, arttile TEXT, arturl TEXT, lasttime TEXT, buquan TEXT, regular TEXT, "
    "before TEXT, after TEXT, tindex TEXT, uindex TEXT, oindex TEXT, isdo INTEGER, lastid INTEGER, "
    "type TEXT)";

}  // namespace

std::string exportPlansSql(const std::vector<std::vector<std::string>>& rows, bool keepTicks) {
    // The header is a comment, so the whole text also runs in the console as it is.
    std::string text = "-- " + exportHeader() + "\r\n\r\n";
    // Each statement ends with ";" so several exported plans run as one text in the console.
    for (const auto& row : rows) text += planInsertSql(row, keepTicks) + ";\r\n\r\n";
    return text;
}

Result<ImportedPlans> importPlans(Database& db, const std::string& exportText, bool allowDuplicates) {
    ImportedPlans result;
    std::string refusal;
    std::string sql = exportText;
    // Texts copied before the header became a comment start with it bare.
    if (sql.rfind(exportHeader(), 0) == 0) sql.erase(0, exportHeader().size());
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        if (!t.run(Statement(kImportTable)).ok) return false;
        SqlResult ran = t.runInsertsOnly(sql, "rule", "temp");
        SqlResult caught = t.run(Statement("select * from temp.rule order by id"));
        // Gone before any other statement: while it stands, "rule" means the caught rows.
        t.run(Statement("DROP TABLE temp.rule"));
        if (!ran.ok || !caught.ok) {
            refusal = ran.ok ? caught.error : ran.error;
            return false;
        }
        SqlResult existing = t.run(Statement("select name, url from main.rule"));
        if (!existing.ok) return false;
        std::vector<std::vector<std::string>> fresh;
        for (const auto& row : caught.rows) {
            bool already = false;
            for (const auto& e : existing.rows)
                already = already ||
                          (cellOf(e, 0) == cellOf(row, kRuleName) && cellOf(e, 1) == cellOf(row, kRuleUrl));
            if (already && !allowDuplicates)
                result.skipped.push_back(cellOf(row, kRuleName));
            else
                fresh.push_back(row);
        }
        if (existing.rows.size() + fresh.size() > static_cast<std::size_t>(kMaxPlanId)) {
            refusal = gbk("方案最多 200 个：已有 ") + std::to_string(existing.rows.size()) +
                           gbk(" 个，这次要导入 ") + std::to_string(fresh.size()) +
                           gbk(" 个，没有导入任何方案。");
            return false;
        }
        for (const auto& row : fresh) {
            auto id = lowestFreeId(t);
            if (!id || !forgetPlanLeftovers(t, *id)) return false;
            auto cell = [&](int k) { return cellOf(row, k); };
            SqlResult inserted = t.run(Statement(
                "insert into "
                "main.rule(id,isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,"
                "ua,class,name,type) values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                {*id, TextToInt(cell(kRuleIsdo)) == 1 ? std::int64_t{1} : std::int64_t{0}, cell(kRuleCode),
                 cell(kRuleUrl), cell(kRuleBefore), cell(kRuleAfter), cell(kRuleRegular), cell(kRuleBuquan),
                 cell(kRuleCookie), cell(kRuleTindex), cell(kRuleUindex), cell(kRuleOindex), cell(kRuleUa),
                 TextToInt(cell(kRuleClass)), cell(kRuleName), cell(kRuleType)}));
            if (!inserted.ok) {
                refusal = inserted.error;
                return false;
            }
            result.ids.push_back(static_cast<int>(*id));
        }
        return true;
    });
    if (committed) return result;
    return Error{refusal.empty() ? committed.error() : refusal};
}

const std::vector<std::string>& planFieldNames() {
    static const std::vector<std::string> names = {
        "name",        "url",      "cookie",      "ua",   "template", "expr",     "before", "after",
        "title-group", "id-group", "other-group", "mode", "encoding", "category", "ticked"};
    return names;
}

Result<PlanFieldValue> planFieldValue(const std::string& field, const std::string& value,
                                      const std::vector<std::string>& categories) {
    auto fail = [](std::string why) -> Result<PlanFieldValue> { return Error{std::move(why)}; };
    static const std::map<std::string, std::string> texts = {
        {"name", "name"},          {"url", "url"},         {"cookie", "cookie"},     {"ua", "ua"},
        {"template", "buquan"},    {"expr", "regular"},    {"before", "before"},     {"after", "after"},
        {"title-group", "tindex"}, {"id-group", "uindex"}, {"other-group", "oindex"}};
    if (auto it = texts.find(field); it != texts.end()) {
        if (it->second == "tindex" || it->second == "uindex" || it->second == "oindex") {
            auto n = TextToIntChecked(value);
            if (value.empty() || !n || *n < 0 || value.find_first_not_of("0123456789") != std::string::npos)
                return fail(gbk("分组编号要写成 0 或更大的整数：") + value);
        }
        return PlanFieldValue{it->second, value};
    }
    if (field == "mode") {
        if (value == "desc") return PlanFieldValue{"type", std::string("0")};
        if (value == "asc") return PlanFieldValue{"type", std::string("2")};
        if (value == "id") return PlanFieldValue{"type", std::string("8")};
        return fail(gbk("判断模式只能是 desc（时间倒序）、asc（时间正序）或 id（比较文章ID）：") + value);
    }
    if (field == "encoding") {
        if (value == "gbk") return PlanFieldValue{"code", std::string("1")};
        if (value == "utf8" || value == "utf-8") return PlanFieldValue{"code", std::string("0")};
        return fail(gbk("编码只能是 gbk 或 utf8：") + value);
    }
    if (field == "category") {
        for (std::size_t k = 0; k < categories.size(); ++k)
            if (categories[k] == value) return PlanFieldValue{"class", static_cast<std::int64_t>(k + 1)};
        std::string known;
        for (const auto& c : categories) known += (known.empty() ? "" : ", ") + c;
        return fail(gbk("没有这个分类：") + value + gbk("（有：") + known + gbk("）"));
    }
    if (field == "ticked") {
        if (value == "yes" || value == "1") return PlanFieldValue{"isdo", std::int64_t{1}};
        if (value == "no" || value == "0") return PlanFieldValue{"isdo", std::int64_t{0}};
        return fail(gbk("ticked 只能是 yes 或 no：") + value);
    }
    return fail(gbk("没有这个字段：") + field);
}

SqlResult setPlanField(Database& db, std::int64_t id, const PlanFieldValue& field) {
    // The column comes from the fixed list above, never from the caller's text.
    return db.run(Statement("update rule set " + field.column + "=? where id=?", {field.value, id}));
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
