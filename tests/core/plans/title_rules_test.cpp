#include <gtest/gtest.h>

#include "core/plans/TitleRules.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/KeywordSet.h"
#include "core/text/TextOps.h"
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

// The keyword automaton agrees with a plain search, word by word, on whole GBK characters and
// ASCII letters in any case.
TEST(KeywordSet, AgreesWithSearchingEachKeyword) {
    const std::vector<std::string> pieces = {"a",    "B", "中", "文", "螺", "]",
                                             "\xDD", " ", "ñ",  "ab", "AB", "x"};
    std::uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    auto text = [&](int most) {
        std::string t;
        for (int k = next() % most; k > 0; --k) t += gbk(pieces[next() % pieces.size()]);
        return t;
    };
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> words;
        for (int k = 1 + next() % 4; k > 0; --k)
            if (std::string w = text(4); !w.empty()) words.push_back(w);
        const std::string title = text(12);
        bool expected = false;
        for (const auto& w : words) expected = expected || gbkContains(title, w, CaseMode::AsciiInsensitive);
        ASSERT_EQ(KeywordSet(words).foundIn(title), expected) << gbkToUtf8(title);
    }
    // A byte of a character is not a keyword's character: "]" inside 螺 (C2 DD) is no "]".
    EXPECT_FALSE(KeywordSet({"\xDD"}).foundIn(gbk("螺")));
    EXPECT_TRUE(KeywordSet({gbk("螺")}).foundIn(gbk("田螺]")));
}

TEST(KeywordSet, AHundredThousandKeywordsAreOneAutomaton) {
    std::vector<std::string> words;
    for (int k = 0; k < 100000; ++k) words.push_back("kw" + std::to_string(k) + "x");
    const KeywordSet set(words);
    int found = 0;
    for (int k = 0; k < 10000; ++k) found += set.foundIn(gbk("标题 KW") + std::to_string(k * 7) + "X 结束");
    EXPECT_EQ(found, 10000);
    EXPECT_FALSE(set.foundIn(gbk("没有关键词的标题 kw12")));
}

}  // namespace
}  // namespace tovi
