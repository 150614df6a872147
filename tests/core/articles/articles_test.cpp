#include <gtest/gtest.h>

#include <cstdlib>

#include "core/articles/ArticleList.h"
#include "core/articles/AtomFeed.h"
#include "core/store/Database.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

class ArticleListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.open(test::makeDatabase(dir.path())));
        // 250 articles over two plans; every third one a favourite.
        std::vector<Statement> rows;
        for (int i = 1; i <= 250; ++i)
            rows.emplace_back(
                "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,'','',?)",
                std::vector<SqlValue>{std::string("p"), std::int64_t{i % 2 ? 1 : 2}, "t" + std::to_string(i),
                                      "http://x/" + std::to_string(i), std::int64_t{i % 3 == 0}});
        db.runTransaction(rows);
    }
    std::vector<std::string> ids(const std::vector<ArticleRow>& rows) {
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r[kInfoId]);
        return out;
    }
    test::TempDir dir;
    Database db;
};

TEST_F(ArticleListTest, PagingAcrossPageBoundaries) {
    ArticleBrowser b(db);
    // Before any view: previous page says so instead of asking for page -1.
    EXPECT_EQ(gbkToUtf8(b.previousPage()), "已经是第 1 页！");
    EXPECT_TRUE(b.rows().empty());

    b.show(ArticleView::all());
    ASSERT_EQ(b.rows().size(), 100u);
    EXPECT_EQ(b.rows().front()[kInfoId], "250");
    EXPECT_EQ(b.rows().back()[kInfoId], "151");
    EXPECT_EQ(gbkToUtf8(b.previousPage()), "已经是第 1 页！");
    EXPECT_EQ(gbkToUtf8(b.nextPage()), "已经下翻1页！当前页码：2，若列表为空，表示当前页码超出可用页数！");
    EXPECT_EQ(b.rows().front()[kInfoId], "150");
    b.nextPage();
    EXPECT_EQ(b.rows().size(), 50u);
    EXPECT_EQ(b.rows().back()[kInfoId], "1");
    b.nextPage();
    EXPECT_TRUE(b.rows().empty());  // past the last page
    EXPECT_EQ(gbkToUtf8(b.previousPage()), "已经上翻1页！当前页码：3");
    EXPECT_EQ(b.rows().size(), 50u);

    // Paging stays in the view.
    b.show(ArticleView::plan(2));
    EXPECT_EQ(b.rows().size(), 100u);
    EXPECT_EQ(b.rows().front()[kInfoId], "250");
    b.nextPage();
    EXPECT_EQ(b.rows().size(), 25u);
    for (const auto& r : b.rows()) EXPECT_EQ(r[kInfoPlanid], "2");

    b.show(ArticleView::favourites());
    EXPECT_EQ(b.rows().size(), 83u);
    EXPECT_EQ(b.rows().front()[kInfoId], "249");
}

TEST_F(ArticleListTest, FavouritesToggleThroughTheLoggedPath) {
    test::RecordingSink sink;
    LoggedSql sql(db, sink);
    EXPECT_TRUE(setFavourite(sql, 250, true).ok());
    EXPECT_EQ(sink.utf8(), "\r\nupdate info set issoucang=1 where id=250SQL成功！");
    ArticleBrowser b(db);
    b.show(ArticleView::favourites());
    EXPECT_EQ(b.rows().front()[kInfoId], "250");
    EXPECT_TRUE(setFavourite(sql, 250, false).ok());
    b.show(ArticleView::favourites());
    EXPECT_EQ(b.rows().front()[kInfoId], "249");
}

TEST_F(ArticleListTest, KeywordViewMatchesWholeGbkCharacters) {
    db.runScript("delete from info");
    const char* stored[] = {"体育快讯乙", "中文公告", "今日新闻速递", "NEWS flash", "100% 真实", "it's here"};
    for (const char* t : stored) db.run(Statement("insert into info(planid,title) values(1,?)", {gbk(t)}));
    struct Case {
        const char* keyword;
        std::vector<std::string> titles;  // newest first
    } cases[] = {
        {"新闻", {"今日新闻速递"}},
        {"公告", {"中文公告"}},
        {"news", {"NEWS flash"}},
        {"100%", {"100% 真实"}},
        {"it's", {"it's here"}},  // a quote is just a character
        {"快_乙", {}},            // '_' and '%' are themselves, not wildcards
        {"新%速", {}},
        {"讯乙", {"体育快讯乙"}},
        {"", {"it's here", "100% 真实", "NEWS flash", "今日新闻速递", "中文公告", "体育快讯乙"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        std::vector<std::string> got;
        for (const auto& r : loadArticlePage(db, ArticleView::search(gbk(c.keyword)), 1))
            got.push_back(gbkToUtf8(r[kInfoTitle]));
        EXPECT_EQ(got, c.titles);
    }
}

}  // namespace
}  // namespace tovi

#include "core/articles/ArticleActions.h"

namespace tovi {
namespace {

TEST_F(ArticleListTest, FavouriteActionFollowsItsCaption) {
    test::RecordingSink sink;
    LoggedSql sql(db, sink);
    struct Case {
        const char* mark;
        const char* caption;
        const char* status;
        const char* stored;
    } cases[] = {
        {"0", "加入到收藏夹", "文章收藏成功！", "1"},
        {"00", "加入到收藏夹", "文章收藏成功！", "1"},  // reads as 0: adds, as the caption says
        {"", "加入到收藏夹", "文章收藏成功！", "1"},
        {"1", "移出收藏夹", "已移出收藏夹！ 刷新收藏夹可见效果", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mark);
        ArticleRow row = {"7", "p", "1", "t", "http://x/7", "", "", c.mark};
        EXPECT_EQ(gbkToUtf8(favouriteMenuCaption(row)), c.caption);
        auto status = toggleFavourite(sql, row);
        ASSERT_TRUE(status.ok());
        EXPECT_EQ(gbkToUtf8(*status), c.status);
        EXPECT_EQ(db.run("select issoucang from info where id=7").rows[0][0], c.stored);
    }
    EXPECT_FALSE(toggleFavourite(sql, ArticleRow{}).ok());
    // A mark that could not be stored is never reported as stored.
    ASSERT_TRUE(db.runScript("create trigger no_marks before update on info begin "
                             "select raise(abort, 'marks are frozen'); end")
                    .ok);
    auto refused = toggleFavourite(sql, ArticleRow{"7", "p", "1", "t", "http://x/7", "", "", "0"});
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("marks are frozen"), std::string::npos);
    EXPECT_EQ(sink.utf8().find("收藏失败！"), 0u) << sink.utf8();
}

TEST(ArticleActions, DetailsLineAndLinks) {
    ArticleRow row = {"12", gbk("论坛"), "3", gbk("标题"), "http://x/12", gbk("作者"), "12/9 7:05", "0"};
    EXPECT_EQ(gbkToUtf8(*articleDetailsLine(row)),
              "\r\nNO.12 [论坛] 标题（http://x/12）----12/9 7:05；状态：0；备注：作者");
    EXPECT_FALSE(articleDetailsLine(ArticleRow{}).has_value());
    struct Case {
        const char* url;
        bool ok;
    } cases[] = {{"http://x/1", true},
                 {"HTTPS://x/1", true},
                 {"", false},
                 {"http://", false},
                 {"file:///etc/passwd", false},
                 {"/usr/bin/xterm", false},
                 {"javascript:alert(1)", false},
                 {"calc.exe", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(isOpenableLink(c.url), c.ok);
    }
}

// Capture times are local: a feed says so with the local offset, and puts them in the right year.
TEST(AtomFeedTimes, LocalTimesWithTheirOffsetAndYear) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    struct Case {
        const char* zone;
        const char* addtime;
        int nowMonth, nowDay;  // "now" in 2017
        const char* expected;
    } cases[] = {
        {"Asia/Shanghai", "12/9 7:05", 12, 10, "2017-12-09T07:05:00+08:00"},
        {"Asia/Shanghai", "12/31 23:59", 1, 2, "2016-12-31T23:59:00+08:00"},  // last year's
        {"UTC", "6/1 0:00", 6, 1, "2017-06-01T00:00:00+00:00"},
        {"America/New_York", "7/4 12:30", 8, 1, "2017-07-04T12:30:00-04:00"},  // summer time
        {"America/New_York", "1/4 12:30", 8, 1, "2017-01-04T12:30:00-05:00"},
        {"Asia/Kolkata", "3/3 3:03", 3, 3, "2017-03-03T03:03:00+05:30"},
        {"UTC", "garbage", 1, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.addtime);
        setenv("TZ", c.zone, 1);
        tzset();
        std::tm now{};
        now.tm_year = 2017 - 1900;
        now.tm_mon = c.nowMonth - 1;
        now.tm_mday = c.nowDay;
        now.tm_hour = 12;
        EXPECT_EQ(captureTimeToRfc3339(c.addtime, now), c.expected);
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace tovi
