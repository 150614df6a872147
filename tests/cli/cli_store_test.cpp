#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "cli/CliRunner.h"
#include "core/store/Database.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::runCli;

TEST(CliStore, InitThenSqlRoundTrip) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_TRUE(std::filesystem::exists(dir / "tovi.sdb"));
    // They hold the plans' cookies: readable by their owner only.
    for (const char* file : {"tovi.sdb", "tovimo.ini"})
        EXPECT_EQ(std::filesystem::status(dir / file).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << file;

    auto again = runCli(dir.path(), {"init"});
    EXPECT_NE(again.code, 0);
    EXPECT_NE(again.err.find("已存在，保持不变"), std::string::npos);

    auto insert = runCli(
        dir.path(), {"sql", "insert into rule(class,name,url,isdo) values(1,'论坛''s 新帖','http://x/',0)"});
    EXPECT_EQ(insert.code, 0) << insert.err;
    EXPECT_NE(insert.out.find("SQL成功！"), std::string::npos);

    auto select = runCli(dir.path(), {"sql", "select id, name from rule"});
    EXPECT_EQ(select.code, 0);
    EXPECT_NE(select.out.find("id | name"), std::string::npos) << select.out;
    EXPECT_NE(select.out.find("1  | 论坛's 新帖"), std::string::npos) << select.out;

    auto bad = runCli(dir.path(), {"sql", "select * from nowhere"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("SQL出错：no such table: nowhere\n"), std::string::npos) << bad.err;
}

TEST(CliStore, StoredTextIsGbk) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    ASSERT_EQ(runCli(dir.path(), {"sql", "insert into rule(name) values('新闻')"}).code, 0);
    auto hex = runCli(dir.path(), {"sql", "select hex(name) from rule"});
    EXPECT_NE(hex.out.find("D0C2CEC5"), std::string::npos) << hex.out;  // 新闻 in GBK
}

TEST(CliStore, InitWithSamples) {
    test::TempDir dir;
    test::writeFile(dir / "samples.sql", "insert into rule(class,name,isdo) values(1,'示例',0);");
    ASSERT_EQ(runCli(dir.path(), {"init", "--samples", (dir / "samples.sql").string()}).code, 0);
    auto select = runCli(dir.path(), {"sql", "select name from rule"});
    EXPECT_NE(select.out.find("示例"), std::string::npos);

    test::TempDir bad;
    test::writeFile(bad / "samples.sql", "insert into nowhere values(1);");
    EXPECT_EQ(runCli(bad.path(), {"init", "--samples", (bad / "samples.sql").string()}).code, 1);
    EXPECT_FALSE(std::filesystem::exists(bad / "tovi.sdb"));  // no half-made file left behind
}

TEST(CliStore, MissingDatabaseIsAStartUpFailure) {
    test::TempDir dir;
    auto r = runCli(dir.path(), {"sql", "select 1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("启动失败"), std::string::npos);
    EXPECT_NE(r.err.find((dir / "tovi.sdb").string()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "tovi.sdb"));
}

TEST(CliStore, ForeignFileIsRefusedUntouched) {
    test::TempDir dir;
    test::writeFile(dir / "tovi.sdb", "garbage");
    auto r = runCli(dir.path(), {"sql", "select 1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("数据库打开失败"), std::string::npos);
    EXPECT_EQ(test::readFile(dir / "tovi.sdb"), "garbage");
}

TEST(CliStore, SettingsGetSet) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"settings", "set", "类别", "<论坛><新闻>"}).code, 0);
    EXPECT_EQ(runCli(dir.path(), {"settings", "get", "类别"}).out, "<论坛><新闻>\n");
    EXPECT_EQ(test::readFile(dir / "tovimo.ini"), gbk("[配置]\r\n类别=<论坛><新闻>\r\n"));
    EXPECT_EQ(runCli(dir.path(), {"settings"}).code, 2);
    // A read-only settings file is not replaced behind the user's back.
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_read);
    auto refused = runCli(dir.path(), {"settings", "set", "频率", "99"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("保存失败，请重试！"), std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {"settings", "get", "频率"}).out.find("99"), std::string::npos);
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_all);
}

TEST(CliStore, SettingsRefuseValuesThatDoNotFit) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"settings", "set", "频率", "60"}).code, 0);
    const std::string before = test::readFile(dir / "tovimo.ini");
    struct Case {
        const char* key;
        const char* value;
        const char* reason;
    } cases[] = {
        {"频率", "5", "不小于 10"},        {"频率", "12abc", "不小于 10"},
        {"类别", "论坛,新闻", "<分类一>"}, {"类别", "<论坛><", "<分类一>"},
        {"类别", "", "<分类一>"},          {"并发", "abc", "1 到 64"},
        {"并发", "0", "1 到 64"},          {"语音提醒", "yes", "0（关）或 1（开）"},
        {"行色1", "-1", "颜色值"},         {"别名", "a\n[配置]\n频率=1", "换行符"},
        {"频率x", "60", "没有这个设置"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        auto r = runCli(dir.path(), {"settings", "set", c.key, c.value});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(dir / "tovimo.ini"), before);
    }
    EXPECT_EQ(runCli(dir.path(), {"settings", "set", "并发", "16"}).code, 0);
    EXPECT_EQ(runCli(dir.path(), {"settings", "set", "别名", "我的 Tovidesk"}).code, 0);
}

TEST(CliStore, BadArguments) {
    test::TempDir dir;
    EXPECT_EQ(runCli(dir.path(), {"nonsense"}).code, 2);
    EXPECT_EQ(runCli(dir.path(), {"sql"}).code, 2);
}

// A damaged side table is rebuilt when the file is opened, with a word, instead of making every
// run fail; the plans and articles are untouched.
TEST(CliStore, ADamagedSideTableIsRebuiltAtStart) {
    test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"init"}).code, 0);
    {
        Database db;
        ASSERT_TRUE(db.open(dir / "tovi.sdb"));
        ASSERT_TRUE(db.runScript("insert into rule(id,name) values(1,'p');"
                                 "insert into info(planid,title) values(1,'kept');"
                                 "DROP TABLE seen_articles; CREATE TABLE seen_articles(x);"
                                 "DROP TABLE plan_health; CREATE VIEW plan_health AS SELECT 1 AS planid;")
                        .ok);
    }
    auto opened = runCli(dir.path(), {"plans"});
    EXPECT_EQ(opened.code, 0);
    EXPECT_NE(opened.err.find("辅助表 seen_articles 已损坏，已重建"), std::string::npos) << opened.err;
    auto again = runCli(dir.path(), {"sql", "select count(*) from info"});
    EXPECT_EQ(again.err.find("已损坏"), std::string::npos) << again.err;  // said once
    Database db;
    ASSERT_TRUE(db.open(dir / "tovi.sdb"));
    EXPECT_TRUE(db.run("select planid, title, url from seen_articles").ok);
    EXPECT_TRUE(db.run("select planid, outcome, failures from plan_health").ok);
    EXPECT_EQ(db.run("select title from info").rows[0][0], "kept");
}

}  // namespace
}  // namespace tovi
