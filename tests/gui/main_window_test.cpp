#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTreeWidgetItem>

#include "GuiFixture.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "gui/ArticleListWidget.h"
#include "gui/PlanTreeWidget.h"
#include "gui/StatusBox.h"

namespace tovi {
namespace {

using test::GuiFixture;

QString statusText(gui::MainWindow& w) { return QString::fromStdString(gbkToUtf8(w.statusBox()->gbkText())); }

TEST_F(GuiFixture, StartUpWithoutDatabaseStopsWithTheStartUpFailure) {
    makeProgramDir(/*withDatabase=*/false);
    gui::MainWindow w(dir.path(), dialogs);
    EXPECT_FALSE(w.start());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("启动失败"));
    EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("数据库文件 tovi.sdb 不存在，无法工作！")));
    EXPECT_FALSE(w.runButton()->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(dir / "tovi.sdb"));
}

TEST_F(GuiFixture, StartUpAppliesSettingsAndBuildsTheTree) {
    makeProgramDir();
    addPlan(1, 1, "论坛甲", "http://a.example/", 1);
    addPlan(2, 1, "论坛乙", "http://b.example/", 0);
    addPlan(3, 2, "新闻丙", "http://c.example/", 1);
    Settings s(dir / "tovimo.ini");
    s.write(SettingKey::alias(), gbk("老司机"));
    s.write(SettingKey::frequency(), "30");
    s.write(SettingKey::rowHeight(), "17");
    s.write(SettingKey::rowColor2(), "255");  // red, in Windows colour order
    s.write(SettingKey::width(), "0");
    auto w = startWindow();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tovidesk v2.13 （老司机必备神器）"));
    EXPECT_EQ(w->frequencyBox()->text(), QStringLiteral("30"));
    EXPECT_EQ(w->size(), QSize(1000, 720));  // a zero width falls back to the design size
    EXPECT_EQ(w->rowHeight(), 30);
    EXPECT_EQ(w->rowColor1(), Settings::kDefaultRowColor1);  // missing: light, not black
    EXPECT_EQ(w->rowColor2(), 255u);
    ASSERT_EQ(w->planTree()->topLevelItemCount(), 2);
    EXPECT_TRUE(w->planTree()->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(w->planTree()->topLevelItem(1)->isExpanded());
    EXPECT_EQ(w->planTree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("论坛甲 [1]"));
    EXPECT_EQ(w->planTree()->queue(RunMode::RunTicked), (std::vector<int>{1, 3}));
    // Ticking a category ticks its plans.
    w->planTree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(w->planTree()->queue(RunMode::RunTicked), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(w->homePage()->isHidden());  // the mini home page shows until the first list load
}

TEST_F(GuiFixture, ViewsPagingAndRowColours) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    gui::ArticleListWidget* list = w->articleList();
    // Before any load, "上一页" says page 1 instead of asking for page -1.
    w->previousPage();
    EXPECT_EQ(statusText(*w), QStringLiteral("已经是第 1 页！"));

    w->showAllArticles();
    EXPECT_TRUE(w->homePage()->isHidden());
    EXPECT_EQ(statusText(*w), QStringLiteral("已刷新列表"));
    ASSERT_EQ(list->rowCount(), 100);
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("250"));
    EXPECT_EQ(list->item(0, 2)->text(), QStringLiteral("标题250"));
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), QStringLiteral("帖子标题"));
    EXPECT_EQ(list->columnWidth(2), w->width() - 515);
    EXPECT_EQ(list->item(0, 1)->background().color(), gui::ArticleListWidget::fromColorRef(w->rowColor1()));
    EXPECT_EQ(list->item(1, 1)->background().color(), gui::ArticleListWidget::fromColorRef(w->rowColor2()));

    w->nextPage();
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("150"));
    EXPECT_TRUE(statusText(*w).startsWith(QStringLiteral("已经下翻1页！当前页码：2")));
    w->nextPage();
    EXPECT_EQ(list->rowCount(), 50);
    w->previousPage();
    EXPECT_EQ(statusText(*w), QStringLiteral("已经上翻1页！当前页码：2"));

    w->showPlanArticles(2);
    EXPECT_EQ(list->rowCount(), 100);
    EXPECT_EQ(list->item(0, 1)->text(), QStringLiteral("方案2"));

    w->searchBox()->setText(QStringLiteral("标题25"));
    w->searchArticles();
    EXPECT_EQ(list->rowCount(), 2);  // 标题250 and 标题25

    w->showFavourites();
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(GuiFixture, FavouriteOpenAndDetailsActOnTheSelectedRow) {
    makeProgramDir();
    auto w = startWindow();
    w->showAllArticles();
    gui::ArticleListWidget* list = w->articleList();
    // Nothing selected: nothing happens.
    list->clearSelection();
    w->toggleSelectedFavourite();
    w->showSelectedDetails();
    EXPECT_EQ(statusText(*w), QStringLiteral("已刷新列表"));

    list->selectRow(0);
    w->toggleSelectedFavourite();
    EXPECT_TRUE(statusText(*w).startsWith(QStringLiteral("文章收藏成功！")));
    EXPECT_TRUE(statusText(*w).contains(QStringLiteral("update info set issoucang=1 where id=250SQL成功！")));
    w->showFavourites();
    ASSERT_EQ(list->rowCount(), 1);
    list->selectRow(0);
    w->showSelectedDetails();
    EXPECT_TRUE(statusText(*w).endsWith(
        QStringLiteral("NO.250 [方案1] 标题250（http://x.example/250）----12/9 7:05；状态：1；备注：备注")));
    w->toggleSelectedFavourite();
    EXPECT_TRUE(statusText(*w).startsWith(QStringLiteral("已移出收藏夹！ 刷新收藏夹可见效果")));
    w->showFavourites();
    EXPECT_EQ(list->rowCount(), 0);

    // Only web links go to the browser.
    Database db;
    db.open(dir / "tovi.sdb");
    db.run("update info set url='file:///etc/passwd' where id=250");
    w->showAllArticles();
    list->selectRow(0);
    w->openSelectedArticle();
    EXPECT_TRUE(statusText(*w).contains(
        QStringLiteral("只能打开 http:// 或 https:// 开头的链接：file:///etc/passwd")));
}

TEST_F(GuiFixture, TrayMenuChecksFollowTheSwitches) {
    makeProgramDir();
    Settings s(dir / "tovimo.ini");
    s.write(SettingKey::soundAlert(), "1");
    auto w = startWindow();
    QList<QAction*> actions = w->trayMenu()->actions();
    QStringList texts;
    for (QAction* a : actions) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, (QStringList{"选项设置", "-", "有新文章时 播放声音", "有新文章时 切换图标", "-",
                                  "记住当前 界面大小、频率", "关于...", "退出"}));
    w->updateTrayMenuChecks();
    EXPECT_TRUE(actions[2]->isChecked());
    EXPECT_FALSE(actions[3]->isChecked());
    w->toggleSoundSwitch();
    w->toggleIconSwitch();
    EXPECT_FALSE(actions[2]->isChecked());
    EXPECT_TRUE(actions[3]->isChecked());
    EXPECT_EQ(s.read(SettingKey::soundAlert()), "0");
    EXPECT_EQ(s.read(SettingKey::iconAlert()), "1");
}

TEST_F(GuiFixture, SaveWindowSettingsStoresTheRestoredSize) {
    makeProgramDir();
    auto w = startWindow();
    w->resize(900, 650);
    w->frequencyBox()->setText(QStringLiteral("45"));
    w->saveWindowSettings();
    Settings s(dir / "tovimo.ini");
    EXPECT_EQ(s.read(SettingKey::width()), "900");
    EXPECT_EQ(s.read(SettingKey::height()), "650");
    EXPECT_EQ(s.read(SettingKey::frequency()), "45");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("　保存成功！"));
}

TEST_F(GuiFixture, LayoutFollowsTheWindowSize) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    w->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(w->articleList()->columnWidth(2), 285);
    EXPECT_EQ(w->statusBox()->geometry().top(), 570);
}

TEST_F(GuiFixture, StatusBoxKeepsLinesAsBlocksWithACap) {
    makeProgramDir();
    auto w = startWindow();
    EXPECT_TRUE(QFile(QStringLiteral(":/tovidesk/alert.wav")).exists());  // the alert sound is built in
    gui::StatusBox* box = w->statusBox();
    box->replaceGbk("");
    box->appendGbk(gbk("\r\n开始"));
    box->appendGbk(gbk("、继续"));
    EXPECT_EQ(box->gbkText(), gbk("\r\n开始、继续"));
    for (int i = 0; i < gui::StatusBox::kMaxLines + 100; ++i) box->appendGbk("\r\nline " + std::to_string(i));
    EXPECT_LE(box->blockCount(), gui::StatusBox::kMaxLines);
    EXPECT_TRUE(statusText(*w).endsWith(QStringLiteral("line 5099")));
}

TEST_F(GuiFixture, MiniHomePageToggles) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    EXPECT_TRUE(w->homePage()->isVisible());
    w->toggleMiniHomePage();  // as the pressed toggle reports it
    w->showAllArticles();     // every list load closes it
    EXPECT_FALSE(w->homePage()->isVisible());
}

TEST_F(GuiFixture, RefreshIsRefusedWhileMonitoring) {
    makeProgramDir();
    auto w = startWindow();
    w->runButton()->setText(QStringLiteral("停止监控"));
    w->refreshIfIdle();
    EXPECT_TRUE(dialogs.saw(QStringLiteral("请先停止进行中的任务！")));
    w->runButton()->setText(QStringLiteral("监控勾选"));
}

}  // namespace
}  // namespace tovi
