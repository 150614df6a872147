#include "support/EngineFixture.h"

#include "core/plans/PlanOptions.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"

namespace tovi::test {

std::tm FixedClock::now() const {
    std::tm t{};
    t.tm_year = 116;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

void EngineFixture::SetUp() {
    auto path = makeDatabase(dir.path());
    ASSERT_TRUE(db.open(path));
    server.server().Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(pagesMutex);
        cookiesSeen.push_back(req.get_header_value("Cookie"));
        auto it = pages.find(req.path);
        if (it == pages.end()) {
            res.status = 404;
            res.set_content("no such page", "text/plain");
            return;
        }
        if (req.path.find("cookie") != std::string::npos) res.set_header("Set-Cookie", "sess=abc; path=/");
        res.set_content(it->second, "text/html");
    });
    server.start();
    // Long transfer limits: a stop must end a hanging fetch by itself, not by waiting it out.
    FetchLimits limits;
    limits.stallTimeout = std::chrono::seconds(30);
    limits.overallTimeout = std::chrono::seconds(60);
    monitoring = std::make_unique<Monitoring>(db, sink, alerts, &listener, limits, &clock);
    monitoring->planRunner().setArticlePause(std::chrono::milliseconds(1));
}

void EngineFixture::TearDown() { monitoring.reset(); }

void EngineFixture::setPage(const std::string& path, const std::string& body) {
    std::lock_guard g(pagesMutex);
    pages[path] = body;
}

std::string EngineFixture::listPage(const std::vector<std::pair<int, std::string>>& items, bool utf8) {
    std::string html =
        "<html><head><title>板块</title></head><body>\r\n<div>导航</div>\r\n<ul id=\"list\">\r\n";
    for (const auto& [id, title] : items)
        html += "<li>\t<a href=\"t-" + std::to_string(id) + ".html\">" + title + "</a><i>作者" +
                std::to_string(id) + "</i></li>\r\n";
    html += "</ul>\r\n<p>页脚</p></body></html>";
    return utf8 ? html : gbk(html);
}

int EngineFixture::addPlan(PlanRowValues s) {
    Statement insert(
        "insert into rule(class,code,name,url,cookie,ua,arttile,arturl,lasttime,buquan,regular,before,after,"
        "tindex,uindex,oindex,isdo,lastid,type) values(1,?,?,?,?,?,'','','',?,?,?,?,?,?,?,?,'',?)",
        {s.code, gbk(s.name), s.url, s.cookie, s.ua, s.buquan, gbk(s.regular), gbk(s.before), gbk(s.after),
         s.tindex, s.uindex, s.oindex, static_cast<std::int64_t>(s.isdo), s.type});
    EXPECT_TRUE(db.run(insert).ok);
    reloadPlanTable();
    return std::stoi(db.run("select max(id) from rule").rows[0][0]);
}

void EngineFixture::reloadPlanTable() {
    monitoring->planTable().fill(db.run("select * from rule"), &sink);
    monitoring->planTable().setRendering(renderingPlans(db));
}

std::vector<std::string> EngineFixture::titles(int planId) {
    std::vector<std::string> out;
    for (const auto& row :
         db.run(Statement("select title from info where planid=? order by id desc", {planId})).rows)
        out.push_back(gbkToUtf8(row[0]));
    return out;
}

int EngineFixture::articleCount() { return std::stoi(db.run("select count(*) from info").rows[0][0]); }

}  // namespace tovi::test
