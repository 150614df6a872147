#include <gtest/gtest.h>

#include "core/plans/Categories.h"
#include "core/plans/PlanTable.h"
#include "core/plans/PlanTree.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

TEST(PlanTree, BuiltFromCategoriesAndRules) {
    test::TempDir dir;
    Database db;
    ASSERT_TRUE(db.open(test::makeDatabase(dir.path())));
    Settings settings(dir / "tovimo.ini");
    settings.write(SettingKey::categories(), gbk("<论坛><新闻>"));
    db.runScript(
        gbk("insert into rule(id,class,name,isdo,url) values(1,2,'新闻甲',1,'u1');"
            "insert into rule(id,class,name,isdo,url) values(2,1,'论坛乙',0,'u2');"
            "insert into rule(id,class,name,isdo,url) values(3,1,'论坛丙','1','u3');"
            "insert into rule(id,class,name,isdo,url) values(4,3,'无类别',1,'u4');"
            "insert into rule(id,class,name,isdo,url) values(5,0,'零',1,'u5');"));
    PlanTable table;
    test::RecordingSink sink;
    PlanTree tree = refreshPlanTree(db, settings, table, &sink);
    ASSERT_EQ(tree.categories.size(), 2u);
    EXPECT_EQ(tree.categories[0].name, gbk("论坛"));
    ASSERT_EQ(tree.categories[0].plans.size(), 2u);
    EXPECT_EQ(tree.categories[0].plans[0].text, gbk("论坛乙 [2]"));
    EXPECT_FALSE(tree.categories[0].plans[0].ticked);
    EXPECT_TRUE(tree.categories[0].plans[1].ticked);
    // Tree order: the first category's plans, then the next category's.
    EXPECT_EQ(tree.queue(RunMode::RunAll), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(tree.queue(RunMode::RunTicked), (std::vector<int>{3, 1}));
    EXPECT_EQ(tree.queue(RunMode::RunUnticked), (std::vector<int>{2}));
    // Plans without a category are in the table but in no branch.
    EXPECT_EQ((*table.row(4))[kRuleUrl], "u4");
    EXPECT_EQ(tree.find(4), nullptr);
}

// Starter plans still on an example domain are not run by 一键提取; once given a page, they are.
TEST(PlanTree, RunningAllLeavesOutPlansOnExampleDomains) {
    test::TempDir dir;
    Database db;
    ASSERT_TRUE(db.open(test::makeDatabase(dir.path())));
    Settings settings(dir / "tovimo.ini");
    settings.write(SettingKey::categories(), gbk("<论坛>"));
    db.runScript(
        "insert into rule(id,class,name,isdo,url) values(1,1,'a',0,'http://bbs.example.com/forum-2-1.html');"
        "insert into rule(id,class,name,isdo,url) values(2,1,'b',0,'https://news.example.org/');"
        "insert into rule(id,class,name,isdo,url) values(3,1,'c',1,'http://forum.test/x');"
        "insert into rule(id,class,name,isdo,url) values(4,1,'d',0,'http://example.com.cn/real');"
        "insert into rule(id,class,name,isdo,url) values(5,1,'e',0,'http://myexample.com/list');");
    PlanTable table;
    PlanTree tree = refreshPlanTree(db, settings, table, nullptr);
    EXPECT_EQ(tree.queue(RunMode::RunAll), (std::vector<int>{4, 5}));
    EXPECT_EQ(tree.queue(RunMode::RunTicked), (std::vector<int>{3}));  // ticked by the user: it runs
}

TEST(PlanTable, IdsOutsideTheTableAreSkippedWithAStatusLine) {
    test::TempDir dir;
    Database db;
    // A file made elsewhere, without our id check.
    ASSERT_TRUE(db.create(dir / "tovi.sdb"));
    std::string cols;
    for (int c = 1; c < kRuleColumnCount; ++c) cols += std::string(",") + ruleColumnName(c) + " text";
    ASSERT_TRUE(db.runScript("create table rule(id integer primary key" + cols + ")").ok);
    db.runScript(
        "insert into rule(id,name,url) values(7,'ok','u7'); insert into rule(id,name) values(300,'big');"
        "insert into rule(id,name) values(-1,'neg'); insert into rule(id,name) values(4294967297,'wrap')");
    PlanTable table;
    test::RecordingSink sink;
    table.fill(db.run("select * from rule"), &sink);
    EXPECT_EQ((*table.row(7))[kRuleUrl], "u7");
    EXPECT_FALSE(table.row(300).has_value());
    EXPECT_EQ((*table.row(1))[kRuleName], "");  // 4294967297 did not wrap onto plan 1
    EXPECT_NE(sink.utf8().find("方案 300 的编号不在 1-200 之内，已跳过！"), std::string::npos);
    EXPECT_NE(sink.utf8().find("方案 -1 的编号"), std::string::npos);
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

TEST(CategoryEdits, PlansStayWithTheirCategoryByName) {
    using Moves = std::vector<std::pair<int, int>>;
    struct Case {
        std::vector<std::string> before, after;
        Moves moves;
        std::vector<int> dropped;  // old positions
    } cases[] = {
        {{"a", "b", "c"}, {"a", "c"}, {{3, 2}}, {2}},         // a line deleted: later plans do not slide
        {{"a", "b"}, {"b", "a"}, {{1, 2}, {2, 1}}, {}},       // swapped
        {{"a", "b"}, {"a", "x"}, {}, {}},                     // renamed in place
        {{"a", "b"}, {"x", "a", "b"}, {{1, 2}, {2, 3}}, {}},  // one put in front
        {{"a", "b", "c"}, {"c"}, {{3, 1}}, {1, 2}},           // two gone
        {{"a", "b"}, {}, {}, {1, 2}},                         // all gone
    };
    const std::map<int, int> plans = {{1, 2}, {2, 1}, {3, 4}};
    for (const Case& c : cases) {
        const CategoryEdit edit = categoryEdit(c.before, c.after, plans);
        EXPECT_EQ(edit.moves, c.moves);
        std::vector<int> dropped;
        for (const auto& d : edit.dropped) dropped.push_back(d.position);
        EXPECT_EQ(dropped, c.dropped);
    }
}

}  // namespace
}  // namespace tovi
