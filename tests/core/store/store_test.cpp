#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "core/store/AtomicFile.h"
#include "core/store/Database.h"
#include "core/store/GbkLike.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::RecordingSink;
using test::TempDir;

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = test::makeDatabase(dir.path());
        ASSERT_TRUE(db.open(path));
    }
    TempDir dir;
    std::filesystem::path path;
    Database db;
};

TEST(DatabaseOpen, NeverCreatesAFile) {
    TempDir dir;
    Database db;
    EXPECT_FALSE(db.open(dir / "tovi.sdb"));
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir / "tovi.sdb"));
}

TEST(DatabaseOpen, ForeignFileGivesClearErrorAndStaysUntouched) {
    TempDir dir;
    const std::string junk = "this is not a database at all, just some text\n";
    test::writeFile(dir / "tovi.sdb", junk);
    Database db;
    ASSERT_TRUE(db.open(dir / "tovi.sdb"));  // opening does not read the file yet
    Result<> schema = checkSchema(db);
    ASSERT_FALSE(schema.ok());
    EXPECT_NE(gbkToUtf8(schema.error()).find("not a database"), std::string::npos)
        << gbkToUtf8(schema.error());
    EXPECT_FALSE(db.run("select * from rule").ok);
    db.close();
    EXPECT_EQ(test::readFile(dir / "tovi.sdb"), junk);
}

TEST(DatabaseOpen, WrongTablesAreReported) {
    TempDir dir;
    Database db;
    ASSERT_TRUE(db.create(dir / "tovi.sdb"));
    ASSERT_TRUE(db.runScript("create table rule(id integer primary key, name text)").ok);
    Result<> schema = checkSchema(db);
    ASSERT_FALSE(schema.ok());
    EXPECT_NE(gbkToUtf8(schema.error()).find("rule"), std::string::npos);
}

TEST_F(StoreTest, SchemaHasColumnsInFileOrder) {
    EXPECT_TRUE(checkSchema(db).ok());
    SqlResult rule = db.run("select * from rule");
    ASSERT_EQ(rule.columns.size(), 20u);
    for (int c = 0; c < kRuleColumnCount; ++c) EXPECT_EQ(rule.columns[c], ruleColumnName(c));
    SqlResult info = db.run("select * from info");
    ASSERT_EQ(info.columns.size(), 8u);
    // The article table's columns, in the order files written by other programs have them.
    EXPECT_EQ(info.columns, (std::vector<std::string>{"id", "planname", "planid", "title", "url", "other",
                                                      "addtime", "issoucang"}));
    // planid has integer affinity, so the double-quoted id of the plan view finds the row.
    ASSERT_TRUE(
        db.run(Statement("insert into info(planname,planid) values(?,?)", {std::string("p"), 12})).ok);
    EXPECT_EQ(db.run("select id from info where planid=\"12\"").rows.size(), 1u);
    // Plan ids stay within the 200 rows of the plan table.
    EXPECT_FALSE(db.run("insert into rule(id,name) values(201,'x')").ok);
    EXPECT_FALSE(db.run("insert into rule(id,name) values(0,'x')").ok);
    EXPECT_TRUE(db.run("insert into rule(id,name) values(200,'x')").ok);
}

TEST_F(StoreTest, BoundValuesAreStoredExactlyAsText) {
    const std::vector<std::string> nasty = {"it's", "'); drop table info; --",
                                            gbk("中文'标题\"") + "\xFF\x80", std::string("a\0b", 3), ""};
    for (const auto& v : nasty) {
        ASSERT_TRUE(db.run(Statement("insert into info(planname,planid,title) values(?,1,?)", {v, v})).ok);
    }
    SqlResult r = db.run("select title, typeof(title) from info order by id");
    ASSERT_EQ(r.rows.size(), nasty.size());
    for (std::size_t i = 0; i < nasty.size(); ++i) {
        EXPECT_EQ(r.rows[i][0], nasty[i]);
        EXPECT_EQ(r.rows[i][1], "text");  // never a BLOB
    }
    EXPECT_EQ(db.run("select count(*) from rule").rows.size(), 1u);  // table still there
}

TEST_F(StoreTest, NullReadsAsEmptyText) {
    ASSERT_TRUE(db.run("insert into info(planid) values(3)").ok);
    SqlResult r = db.run("select * from info");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][kInfoTitle], "");
    EXPECT_EQ(r.rows[0][kInfoPlanid], "3");
}

TEST_F(StoreTest, LoggedSqlEchoesStatementAndResult) {
    RecordingSink sink;
    LoggedSql logged(db, sink);
    Statement insert("insert into info(planname,planid,title) values(?,?,?)",
                     {std::string("a'b"), 7, gbk("标题")});
    EXPECT_EQ(logged.exec(insert), gbk("SQL成功！"));
    EXPECT_EQ(sink.text(),
              gbk("\r\ninsert into info(planname,planid,title) values('a''b',7,'标题')SQL成功！"));

    std::string error = logged.execScript("select * from nowhere");
    EXPECT_EQ(gbkToUtf8(error), "SQL出错：no such table: nowhere，请重启软件！");

    // An empty statement is not run; the result carries the last error text.
    sink.replaceAll("");
    std::string empty = logged.execScript("");
    EXPECT_EQ(gbkToUtf8(empty), "SQL出错：no such table: nowhere，请重启软件！");
    EXPECT_EQ(sink.text(), "\r\n" + empty);

    // Only spaces or comments: SQLite runs that as an empty statement, so it succeeds.
    for (const char* blank : {"   ", "-- nothing to do", "/* a comment */ \r\n ", ";;"}) {
        SCOPED_TRACE(blank);
        EXPECT_EQ(gbkToUtf8(logged.execScript(blank)), "SQL成功！");
    }
}

TEST_F(StoreTest, ScriptRunsStatementsInTurnAndKeepsEarlierOnes) {
    SqlResult r = db.runScript("insert into info(planid) values(1); insert into nowhere values(2)");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(db.run("select * from info").rows.size(), 1u);
    SqlResult q = db.runScript("insert into info(planid) values(5); select planid from info order by id");
    ASSERT_TRUE(q.ok);
    ASSERT_EQ(q.rows.size(), 2u);
    EXPECT_EQ(q.rows[1][0], "5");
}

TEST_F(StoreTest, TransactionKeepsGoodStatementsWhenOneFails) {
    auto results = db.runTransaction({Statement("insert into info(planid) values(1)"),
                                      Statement("insert into nowhere values(1)"),
                                      Statement("insert into info(planid) values(2)")});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].ok);
    EXPECT_FALSE(results[1].ok);
    EXPECT_TRUE(results[2].ok);
    EXPECT_EQ(db.run("select * from info").rows.size(), 2u);
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
    RecordingSink sink;
    LoggedSql logged(db, sink);
    constexpr int kThreads = 4, kEach = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                logged.exec(Statement("insert into info(planid,title) values(?,?)", {t, std::to_string(i)}));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(db.run("select count(*) from info").rows[0][0], std::to_string(kThreads * kEach));
    EXPECT_EQ(sink.text().find(gbk("SQL出错")), std::string::npos);
}

TEST_F(StoreTest, SecondConnectionWaitsInsteadOfFailing) {
    Database other;
    ASSERT_TRUE(other.open(path));
    ASSERT_TRUE(other.runScript("BEGIN IMMEDIATE; insert into rule(name) values('x')").ok);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.runScript("COMMIT");
    });
    // The write waits for the other connection's transaction instead of reporting "locked".
    EXPECT_TRUE(db.run("insert into info(planid) values(1)").ok);
    release.join();
}

TEST_F(StoreTest, StopRequestEndsTheWaitForAnotherWriter) {
    Database other;
    ASSERT_TRUE(other.open(path));
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    auto started = std::chrono::steady_clock::now();
    auto results =
        db.runTransaction({Statement("insert into info(planid) values(1)")}, [&] { return stop.load(); });
    auto waited = std::chrono::steady_clock::now() - started;
    stopper.join();
    other.runScript("ROLLBACK");
    EXPECT_FALSE(results[0].ok);
    // Well below the 5 s busy timeout: the wait saw the stop request.
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_EQ(db.run("select count(*) from info").rows[0][0], "0");
}

TEST(DatabaseErrors, ShortenedAtCharacterBoundary) {
    std::string message(198, 'x');
    message += gbk("中文");
    std::string cut = Database::shortenError(message);
    EXPECT_EQ(cut.size(), 198u);  // the double-byte character would straddle byte 199
    EXPECT_EQ(Database::shortenError("short"), "short");
}

TEST(GbkLike, MatchesWholeCharacters) {
    struct Case {
        const char* pattern;
        const char* title;
        bool match;
    } cases[] = {
        {"%新闻%", "体育快讯乙", false},  // SQLite's byte-wise LIKE would say yes
        {"%公告%", "中文公告", true},     // and would miss this one
        {"%新闻%", "今日新闻速递", true}, {"%abc%", "xxABCxx", true},  // ASCII letters fold
        {"%ab_d%", "ab中d", true},                                     // _ is one whole character
        {"%ab__d%", "ab中d", false},      {"100%", "100", true},      {"%", "", true},
        {"a%b%c", "aXXbYYc", true},       {"a%b%c", "aXXbYY", false}, {"", "x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.title);
        EXPECT_EQ(gbkLike(gbk(c.pattern), gbk(c.title)), c.match);
    }
    // Letter case inside double-byte characters is never folded: 丂 (81 40) vs 81 60.
    EXPECT_FALSE(gbkLike("%\x81\x60%", "\x81\x40"));
}

// What the search box finds: the words as typed, '%' and '_' being themselves.
TEST(GbkContains, FindsTheWordsAsTyped) {
    const struct {
        const char* words;
        const char* title;
        bool found;
    } cases[] = {
        {"100%", "折扣100%起", true}, {"100%", "折扣1000元", false},
        {"a_b", "a_b测试", true},     {"a_b", "axb", false},
        {"ABC", "xxabcxx", true},     {"新闻", "体育快讯乙", false},
        {"公告", "中文公告", true},   {"", "x", true},
        {"长标题", "长标", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.words) + " in " + c.title);
        EXPECT_EQ(gbkContains(gbk(c.words), gbk(c.title)), c.found);
    }
    // A byte pair split across characters is no match: 丂 (81 40) then A (41) holds no "@A".
    EXPECT_FALSE(gbkContains("@A",
                             "\x81\x40"
                             "A"));
}

TEST_F(StoreTest, GbkLikeIsAvailableInSql) {
    for (const char* t : {"体育快讯乙", "中文公告", "新闻一"})
        db.run(Statement("insert into info(planid,title) values(1,?)", {gbk(t)}));
    SqlResult r = db.run(Statement("select title from info where gbk_like(?, title)", {gbk("%公告%")}));
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], gbk("中文公告"));
}

// Files shared with other users (a feed directory) are replaced without following links
// planted beside them, never half written, and a read-only file stays as it is.
TEST(AtomicFile, ReplacesWithoutFollowingPlantedLinks) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    test::writeFile(dir / "victim", "precious");
    // Every name the old writer would have used.
    fs::create_symlink(dir / "victim", dir / ("feed.xml.tmp" + std::to_string(::getpid())));
    fs::create_symlink(dir / "victim", dir / "feed.xml.tmp");
    EXPECT_TRUE(replaceFileAtomically(dir / "feed.xml", "<feed/>").ok());
    EXPECT_EQ(test::readFile(dir / "victim"), "precious");
    EXPECT_EQ(test::readFile(dir / "feed.xml"), "<feed/>");
    // The mode stays; no temporary file is left behind.
    fs::permissions(dir / "feed.xml", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(replaceFileAtomically(dir / "feed.xml", "<feed>2</feed>").ok());
    EXPECT_EQ(fs::status(dir / "feed.xml").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 4);  // victim, feed.xml and the two planted links
    // Read-only: refused, untouched.
    fs::permissions(dir / "feed.xml", fs::perms::owner_read);
    EXPECT_FALSE(replaceFileAtomically(dir / "feed.xml", "x").ok());
    EXPECT_EQ(test::readFile(dir / "feed.xml"), "<feed>2</feed>");
    EXPECT_FALSE(replaceFileAtomically(dir / "no-such-dir" / "f", "x").ok());
}

}  // namespace
}  // namespace tovi
