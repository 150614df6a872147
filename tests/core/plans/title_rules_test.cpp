#include <gtest/gtest.h>

#include "core/plans/TitleRules.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

TEST(TitleRules, KeywordLists) {
    struct Case {
        const char* list;
        std::vector<std::string> words;
    } cases[] = {
        {"招聘,转让", {"招聘", "转让"}},
        {" 招聘  转让 ", {"招聘", "转让"}},
        {"招聘，转让　出租", {"招聘", "转让", "出租"}},  // full-width comma and space
        {",,", {}},
        {"", {}},
        {"C++ Qt", {"C++", "Qt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        std::vector<std::string> got;
        for (const auto& w : titleKeywords(gbk(c.list))) got.push_back(gbkToUtf8(w));
        EXPECT_EQ(got, c.words);
    }
}

TEST(TitleRules, WhichTitlesPass) {
    TitleRules wanted;
    wanted.includeOn = true;
    wanted.include = gbk("招聘,转让");
    wanted.excludeOn = true;
    wanted.exclude = gbk("广告 spam");
    struct Case {
        const char* title;
        bool passes;
    } cases[] = {
        {"急招聘前端", true}, {"低价转让二手车", true},  {"招聘广告位", false},  // unwanted wins
        {"今日新闻", false},  {"转让 SPAM 信息", false},                         // ASCII letters in any case
        {"招聘", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(wanted.passes(gbk(c.title)), c.passes);
    }
    // Whole characters: 丂 (81 40) holds the byte of '@' but never matches it.
    TitleRules at;
    at.includeOn = true;
    at.include = "@";
    EXPECT_FALSE(at.passes(gbk("丂")));
    EXPECT_TRUE(at.passes("a@b"));
    // Empty or switched-off lists let everything pass.
    TitleRules off;
    off.include = gbk("招聘");
    EXPECT_FALSE(off.active());
    EXPECT_TRUE(off.passes(gbk("今日新闻")));
    TitleRules emptyOn;
    emptyOn.includeOn = true;
    EXPECT_FALSE(emptyOn.active());
    EXPECT_TRUE(emptyOn.passes(gbk("今日新闻")));
}

TEST(TitleRules, StoredForEveryPlanOrForOne) {
    test::TempDir dir;
    Database db;
    ASSERT_TRUE(db.open(test::makeDatabase(dir.path())));
    EXPECT_FALSE(rulesForPlan(db, 3).active());
    TitleRules global;
    global.includeOn = true;
    global.include = gbk("招聘");
    ASSERT_TRUE(saveTitleRules(db, kGlobalRules, global));
    TitleRules own;
    own.excludeOn = true;
    own.exclude = gbk("广告");
    own.action = TitleRules::Action::Alert;
    ASSERT_TRUE(saveTitleRules(db, 3, own));
    EXPECT_EQ(rulesForPlan(db, 3), own);
    EXPECT_EQ(rulesForPlan(db, 4), global);
    ASSERT_TRUE(clearTitleRules(db, 3));
    EXPECT_EQ(rulesForPlan(db, 3), global);
    EXPECT_FALSE(loadTitleRules(db, 3).has_value());
}

}  // namespace
}  // namespace tovi
