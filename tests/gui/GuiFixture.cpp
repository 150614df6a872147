#include "GuiFixture.h"

#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "gui/AppStartup.h"

namespace tovi::test {

void GuiFixture::makeProgramDir(bool withDatabase) {
    Settings s(dir / "tovimo.ini");
    s.write(SettingKey::categories(), gbk("<论坛><新闻>"));
    if (!withDatabase) return;
    makeDatabase(dir.path());
    Database db;
    db.open(dir / "tovi.sdb");
    std::vector<Statement> rows;
    for (int i = 1; i <= 250; ++i)
        rows.emplace_back(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,?,?,0)",
            std::vector<SqlValue>{gbk("方案") + std::to_string(i % 2 + 1), std::int64_t{i % 2 + 1},
                                  gbk("标题") + std::to_string(i), "http://x.example/" + std::to_string(i),
                                  gbk("备注"), std::string("12/9 7:05")});
    db.runTransaction(rows);
}

void GuiFixture::addPlan(int id, int cls, const std::string& name, const std::string& url, int isdo) {
    Database db;
    db.open(dir / "tovi.sdb");
    db.run(Statement(
        "insert into "
        "rule(id,class,code,name,url,cookie,ua,arttile,arturl,lasttime,buquan,regular,before,after,"
        "tindex,uindex,oindex,isdo,lastid,type) "
        "values(?,?,'1',?,?,'','UA','','','','http://site/t-[1].html',?,"
        "'<ul id=\"list\">','</ul>','2','1','3',?,'','0')",
        {std::int64_t{id}, std::int64_t{cls}, gbk(name), url,
         std::string("<li><a href=\"t-(\\d+)\\.html\">(.*?)</a><i>(.*?)</i></li>"), std::int64_t{isdo}}));
}

std::unique_ptr<gui::MainWindow> GuiFixture::startWindow(gui::MonitorTiming timing) {
    auto w = std::make_unique<gui::MainWindow>(dir.path(), dialogs, std::move(timing));
    started = gui::AppStartup::run(*w);
    return w;
}

}  // namespace tovi::test
