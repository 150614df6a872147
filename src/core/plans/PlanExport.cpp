#include "core/plans/PlanExport.h"

#include <cctype>

#include "core/plans/PlanEditing.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

constexpr const char* kInsertColumns =
    "insert into "
    "rule(isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,ua,class,url,name,type)";

}  // namespace

std::string planInsertSql(const std::vector<std::string>& row, bool keepTick) {
    auto cell = [&](int k) { return cellOf(row, k); };
    const std::string isdo = keepTick && textToInt(cell(kRuleIsdo)) == 1 ? "1" : "0";
    Statement st(
        std::string(kInsertColumns) + " values('" + isdo + "',?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        {cell(kRuleCode), cell(kRuleUrl), cell(kRuleBefore), cell(kRuleAfter), cell(kRuleRegular),
         cell(kRuleBuquan), cell(kRuleCookie), cell(kRuleTindex), cell(kRuleUindex), cell(kRuleOindex),
         cell(kRuleUa), textToInt(cell(kRuleClass)), cell(kRuleUrl), cell(kRuleName), cell(kRuleType)});
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

const char* const kLinksComment = "-- links=browser";
const char* const kRenderComment = "-- render=yes";
const char* const kJsonComment = "-- json=yes";

namespace {

// Each switch and the comment line that carries it.
const std::pair<const char* const*, bool PlanSwitches::*> kSwitchComments[] = {
    {&kLinksComment, &PlanSwitches::browserLinks},
    {&kRenderComment, &PlanSwitches::render},
    {&kJsonComment, &PlanSwitches::jsonText},
};

}  // namespace

std::string exportPlansSql(const std::vector<std::vector<std::string>>& rows, bool keepTicks,
                           const std::vector<PlanSwitches>& switches) {
    // The header is a comment, so the whole text also runs in the console as it is.
    std::string text = "-- " + exportHeader() + "\r\n\r\n";
    // Each statement ends with ";" so several exported plans run as one text in the console.
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (k < switches.size())
            for (const auto& [comment, on] : kSwitchComments)
                if (switches[k].*on) text += std::string(*comment) + "\r\n";
        text += planInsertSql(rows[k], keepTicks) + ";\r\n\r\n";
    }
    return text;
}

namespace {

// For each statement of an SQL text that inserts, the comments before it (which carry the plan's
// switches). Quotes and comments are followed, so a ";" or
// a "--" inside a value splits nothing.
std::vector<std::string> insertComments(std::string_view sql) {
    std::vector<std::string> marks;
    std::string comments;  // those before the statement under way
    bool inStatement = false, inserts = false;
    auto endStatement = [&] {
        if (inStatement && inserts) marks.push_back(comments);
        inStatement = inserts = false;
        comments.clear();
    };
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (sql.substr(i, 2) == "--") {
            const std::size_t end = std::min(sql.find('\n', i), sql.size());
            if (!inStatement) comments += std::string(sql.substr(i, end - i)) + "\n";
            i = end;
        } else if (sql.substr(i, 2) == "/*") {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? sql.size() : end + 2;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            // A quote doubled inside a value closes and reopens it: the value reads on either way.
            const std::size_t end = sql.find(c == '[' ? ']' : c, i + 1);
            i = end == std::string_view::npos ? sql.size() : end + 1;
            inStatement = true;
        } else if (c == ';') {
            endStatement();
            ++i;
        } else {
            if (!inStatement && !std::isspace(static_cast<unsigned char>(c))) {
                inStatement = true;
                inserts = asciiLower(sql.substr(i, 6)) == "insert";
            }
            ++i;
        }
    }
    endStatement();
    return marks;
}

}  // namespace

Result<ImportedPlans> importPlans(Database& db, const std::string& exportText, bool allowDuplicates) {
    // 200 plans of long expressions and cookies come to far less; anything larger is refused
    // before any of it is read as SQL.
    constexpr std::size_t kMaxExportBytes = 8u << 20;
    if (exportText.size() > kMaxExportBytes)
        return Error{gbk("导入的文本超过 8 MB，不是方案导出文件（最多 200 个方案）")};
    ImportedPlans result;
    std::string refusal;
    std::string sql = exportText;
    // Texts copied before the header became a comment start with it bare.
    if (sql.rfind(exportHeader(), 0) == 0) sql.erase(0, exportHeader().size());
    Result<> committed = db.writeTransaction([&](Transaction& t) {
        if (!t.run(Statement(kImportTable)).ok) return false;
        SqlResult ran = t.runInsertsOnly(sql, "rule", "temp");
        // Counted before any row is read into memory: a text of a million rows is refused here.
        SqlResult counted = t.run(Statement("select count(*) from temp.rule"));
        if (ran.ok && counted.ok && textToInt(cellOf(counted.rows.at(0), 0)) > kMaxPlanId) {
            t.run(Statement("DROP TABLE temp.rule"));
            refusal = gbk("导入的文本有 ") + cellOf(counted.rows.at(0), 0) + gbk(" 行方案，最多 200 个");
            return false;
        }
        SqlResult caught = t.run(Statement("select * from temp.rule order by id"));
        // Gone before any other statement: while it stands, "rule" means the caught rows.
        t.run(Statement("DROP TABLE temp.rule"));
        if (!ran.ok || !caught.ok) {
            refusal = ran.ok ? caught.error : ran.error;
            return false;
        }
        SqlResult existing = t.run(Statement("select name, url from main.rule"));
        if (!existing.ok) return false;
        std::vector<std::size_t> fresh;  // indices into the caught rows
        for (std::size_t k = 0; k < caught.rows.size(); ++k) {
            const auto& row = caught.rows[k];
            bool already = false;
            for (const auto& e : existing.rows)
                already = already ||
                          (cellOf(e, 0) == cellOf(row, kRuleName) && cellOf(e, 1) == cellOf(row, kRuleUrl));
            if (already && !allowDuplicates)
                result.skipped.push_back(cellOf(row, kRuleName));
            else
                fresh.push_back(k);
        }
        if (existing.rows.size() + fresh.size() > static_cast<std::size_t>(kMaxPlanId)) {
            refusal = gbk("方案最多 200 个：已有 ") + std::to_string(existing.rows.size()) +
                      gbk(" 个，这次要导入 ") + std::to_string(fresh.size()) + gbk(" 个，没有导入任何方案。");
            return false;
        }
        // The comments that carry the plans' switches, one for each insert; read only when they
        // match the rows caught one for one.
        const std::vector<std::string> marks = insertComments(sql);
        const bool marksFit = marks.size() == caught.rows.size();
        for (std::size_t k : fresh) {
            const auto& row = caught.rows[k];
            auto id = lowestFreeId(t);
            if (!id || !forgetPlanLeftovers(t, *id)) return false;
            auto cell = [&](int k) { return cellOf(row, k); };
            SqlResult inserted = t.run(Statement(
                "insert into "
                "main.rule(id,isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,oindex,"
                "ua,class,name,type) values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                {*id, textToInt(cell(kRuleIsdo)) == 1 ? std::int64_t{1} : std::int64_t{0}, cell(kRuleCode),
                 cell(kRuleUrl), cell(kRuleBefore), cell(kRuleAfter), cell(kRuleRegular), cell(kRuleBuquan),
                 cell(kRuleCookie), cell(kRuleTindex), cell(kRuleUindex), cell(kRuleOindex), cell(kRuleUa),
                 textToInt(cell(kRuleClass)), cell(kRuleName), cell(kRuleType)}));
            PlanSwitches carried;
            if (marksFit)
                for (const auto& [comment, on] : kSwitchComments)
                    carried.*on = marks[k].find(*comment) != std::string::npos;
            if (inserted.ok) inserted = recordPlanSwitches(t, *id, carried);
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

}  // namespace tovi
