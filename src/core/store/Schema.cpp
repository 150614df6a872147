#include "core/store/Schema.h"

#include "core/store/Database.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

constexpr const char* kRuleColumns[kRuleColumnCount] = {
    "id",     "class",   "code",   "name",  "url",    "cookie", "ua",     "arttile", "arturl", "lasttime",
    "buquan", "regular", "before", "after", "tindex", "uindex", "oindex", "isdo",    "lastid", "type"};

// Plan ids stay within 1-200 because the in-memory plan table has 200 rows.
constexpr const char* kCreateSql =
    "CREATE TABLE rule(id INTEGER PRIMARY KEY CHECK(id BETWEEN 1 AND 200), class INTEGER, code TEXT, "
    "name TEXT, url TEXT, cookie TEXT, ua TEXT, arttile TEXT, arturl TEXT, lasttime TEXT, buquan TEXT, "
    "regular TEXT, before TEXT, after TEXT, tindex TEXT, uindex TEXT, oindex TEXT, isdo INTEGER, "
    "lastid INTEGER, type TEXT);"
    "CREATE TABLE info(id INTEGER PRIMARY KEY, planname TEXT, planid INTEGER, title TEXT, url TEXT, "
    "other TEXT, addtime TEXT, issoucang INTEGER);";

// The list views page by these; a run looks up each article by (planid, title, url) before
// storing it, so an article is stored once however often it is seen.
constexpr const char* kIndexSql =
    "CREATE INDEX IF NOT EXISTS info_planid_id ON info(planid, id);"
    "CREATE INDEX IF NOT EXISTS info_issoucang_id ON info(issoucang, id);"
    "CREATE INDEX IF NOT EXISTS info_article ON info(planid, title, url);"
    // Beside the two tables, in tables of their own that older readers never look at: the
    // title rules (plan 0: for every plan), the articles the rules kept out (seen, never new
    // again), and each plan's last outcome.
    "CREATE TABLE IF NOT EXISTS title_rules(planid INTEGER PRIMARY KEY, include_on INTEGER, include TEXT, "
    "exclude_on INTEGER, exclude TEXT, action TEXT);"
    "CREATE TABLE IF NOT EXISTS seen_articles(planid INTEGER, title TEXT, url TEXT);"
    "CREATE INDEX IF NOT EXISTS seen_article ON seen_articles(planid, title, url);"
    "CREATE TABLE IF NOT EXISTS plan_health(planid INTEGER PRIMARY KEY, outcome TEXT, reason TEXT, "
    "failures INTEGER, last_run TEXT, last_success TEXT);"
    // What a visit to a plan's page left for the next one, also in another process: the
    // validators of the last complete visit, and until when the site asked to be left alone.
    "CREATE TABLE IF NOT EXISTS page_visits(planid INTEGER PRIMARY KEY, fingerprint BLOB, etag TEXT, "
    "last_modified TEXT, visited INTEGER, hold_until INTEGER);"
    // Switches of a plan that table rule has no column for.
    "CREATE TABLE IF NOT EXISTS plan_options(planid INTEGER PRIMARY KEY, own_certificate INTEGER, "
    "browser_links INTEGER, render INTEGER, json_text INTEGER);"
    // What the window was doing when it closed (monitoring on or off), for the next start.
    "CREATE TABLE IF NOT EXISTS app_state(key TEXT PRIMARY KEY, value TEXT);"
    // Push channels, the events waiting for them (written with what they announce) and the
    // recent sends each service's rate limit counts.
    "CREATE TABLE IF NOT EXISTS push_channels(id INTEGER PRIMARY KEY, url TEXT, name TEXT, plans TEXT, "
    "events INTEGER, quiet TEXT, failures INTEGER, next_try INTEGER, note TEXT);"
    "CREATE TABLE IF NOT EXISTS push_outbox(id INTEGER PRIMARY KEY, channel INTEGER, kind TEXT, planid "
    "INTEGER, "
    "planname TEXT, total INTEGER, lines TEXT, created INTEGER, first_failure INTEGER, state INTEGER, "
    "claim TEXT, claim_until INTEGER, sent INTEGER);"
    "CREATE INDEX IF NOT EXISTS push_waiting ON push_outbox(channel, state, id);"
    "CREATE TABLE IF NOT EXISTS push_sends(channel INTEGER, at INTEGER);";

}  // namespace

const char* ruleColumnName(int column) {
    return column >= 0 && column < kRuleColumnCount ? kRuleColumns[column] : "";
}

Result<> createSchema(Database& db) { return resultOf(db.runScript(std::string(kCreateSql) + kIndexSql)); }

void ensureIndexes(Database& db) { db.runScript(kIndexSql); }

std::vector<std::string> repairSideTables(Database& db) {
    // Each side table and the columns the program reads from it.
    struct Side {
        const char* table;
        const char* columns;
    };
    static const Side kSides[] = {
        {"title_rules", "planid, include_on, include, exclude_on, exclude, action"},
        {"seen_articles", "planid, title, url"},
        {"plan_health", "planid, outcome, reason, failures, last_run, last_success"},
        {"page_visits", "planid, fingerprint, etag, last_modified, visited, hold_until"},
        {"plan_options", "planid, own_certificate, browser_links, render, json_text"},
        {"app_state", "key, value"},
        {"push_channels", "id, url, name, plans, events, quiet, failures, next_try, note"},
        {"push_outbox",
         "id, channel, kind, planid, planname, total, lines, created, first_failure, state, claim, "
         "claim_until, sent"},
        {"push_sends", "channel, at"},
    };
    // Columns added since a table was first made: an older file gets them, keeping its rows.
    if (db.run("select own_certificate from plan_options limit 0").ok)
        for (const char* column : {"browser_links", "render", "json_text"})
            if (!db.run(std::string("select ") + column + " from plan_options limit 0").ok)
                db.runScript(std::string("ALTER TABLE plan_options ADD COLUMN ") + column + " INTEGER");
    std::vector<std::string> repaired;
    for (const Side& side : kSides) {
        const std::string table = side.table;
        // The table names are our own: nothing from the file becomes statement text.
        if (db.run(std::string("select ") + side.columns + " from " + table + " limit 0").ok) continue;
        SqlResult found = db.run(Statement("select type from sqlite_master where name=?", {table}));
        if (!found.ok || found.rows.empty()) continue;  // created below, as for an older file
        const std::string kind = cellOf(found.rows[0], 0) == "view" ? "VIEW " : "TABLE ";
        if (db.runScript("DROP " + kind + table).ok)
            repaired.push_back(gbk("数据库的辅助表 ") + table +
                               gbk(" 已损坏，已重建（其中记录的内容已丢失）"));
    }
    ensureIndexes(db);
    return repaired;
}

Result<> checkSchema(Database& db) {
    SqlResult probe = db.run("select count(*) from sqlite_master");
    if (!probe.ok) return Error{gbk("数据库文件无法读取（") + probe.error + gbk("）")};
    struct Expect {
        const char* table;
        int columns;
    };
    for (Expect e : {Expect{"rule", kRuleColumnCount}, Expect{"info", kInfoColumnCount}}) {
        SqlResult r = db.run(std::string("select * from ") + e.table + " limit 0");
        if (!r.ok) return Error{gbk("数据库缺少表 ") + e.table + gbk("（") + r.error + gbk("）")};
        if (static_cast<int>(r.columns.size()) < e.columns)
            return Error{gbk("数据库表 ") + e.table + gbk(" 的列数不对：需要 ") + std::to_string(e.columns) +
                         gbk(" 列，实有 ") + std::to_string(r.columns.size()) + gbk(" 列")};
    }
    return {};
}

Result<> openMainDatabase(Database& db, const std::filesystem::path& path,
                          std::vector<std::string>* repaired) {
    if (!db.open(path)) return Error{db.lastError()};
    if (Result<> schema = checkSchema(db); !schema) return schema;
    std::vector<std::string> notes = repairSideTables(db);
    if (repaired) *repaired = std::move(notes);
    return {};
}

}  // namespace tovi
