#pragma once
// The two tables of tovi.sdb. Column order is part of the file format: every reader addresses
// cells by position.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"

namespace tovi {

class Database;

// Positions of table rule's columns.
enum RuleColumn : int {
    kRuleId = 0,
    kRuleClass,
    kRuleCode,
    kRuleName,
    kRuleUrl,
    kRuleCookie,
    kRuleUa,
    kRuleArttile,
    kRuleArturl,
    kRuleLasttime,
    kRuleBuquan,
    kRuleRegular,
    kRuleBefore,
    kRuleAfter,
    kRuleTindex,
    kRuleUindex,
    kRuleOindex,
    kRuleIsdo,
    kRuleLastid,
    kRuleType,
    kRuleColumnCount
};

// Positions of table info's columns.
enum InfoColumn : int {
    kInfoId = 0,
    kInfoPlanname,
    kInfoPlanid,
    kInfoTitle,
    kInfoUrl,
    kInfoOther,
    kInfoAddtime,
    kInfoIssoucang,
    kInfoColumnCount
};

constexpr int kMaxPlanId = 200;

const char* ruleColumnName(int column);

// Creates both tables and the list indexes in a new, empty database.
Result<> createSchema(Database& db);

// Adds what an older file lacks: the indexes the article views and the article look-up rely
// on, and the side tables (title rules, articles the rules kept out, plan health). The two
// tables are never changed. Failure (e.g. a read-only file) only makes things slower.
void ensureIndexes(Database& db);

// A side table that cannot be read as the program reads it (columns gone, not a table) is
// rebuilt empty, so a damaged side table never makes every run fail; missing ones are created.
// One status text (GBK) for each table rebuilt.
std::vector<std::string> repairSideTables(Database& db);

// Fine when both tables are there with the expected column counts; otherwise a GBK text saying
// what is wrong (not a database, a table or columns missing).
Result<> checkSchema(Database& db);

// Opens an existing tovi.sdb as the program's main connection: the file is never created,
// both tables are checked and the list indexes added where missing. When it fails, why (the
// engine's message, or what checkSchema found with the file open). Side tables that had to be
// rebuilt are said in repaired.
Result<> openMainDatabase(Database& db, const std::filesystem::path& path,
                          std::vector<std::string>* repaired = nullptr);

}  // namespace tovi
