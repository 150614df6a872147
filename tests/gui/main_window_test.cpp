#include <QAccessible>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>

#include "GuiFixture.h"
#include "core/push/PushStore.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "gui/AppStartup.h"
#include "gui/ArticleListWidget.h"
#include "gui/MainLayout.h"
#include "gui/ScreenFit.h"
#include "gui/StatusBox.h"

namespace tovi {
namespace {

using test::action;
using test::child;
using test::choose;
using test::click;
using test::contextMenu;
using test::GuiFixture;
using test::statusText;
using test::typeInto;

QTableWidget* articleList(const QWidget* w) { return child<QTableWidget>(w, QStringLiteral("文章列表框")); }
QTreeWidget* planTree(const QWidget* w) { return child<QTreeWidget>(w, QStringLiteral("栏目框")); }
QMenu* articleMenu(const QWidget* w) { return child<QMenu>(w, QStringLiteral("文章菜单")); }

// Opens the article menu over the list and chooses an item.
void articleMenuChoose(const QWidget* w, const QString& item) {
    contextMenu(articleList(w)->viewport());
    choose(articleMenu(w), item);
}

void clickRow(QTableWidget* list, int row) {
    QRect cell = list->visualItemRect(list->item(row, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
}

// Qt's own buttons and menus speak the program's language.
TEST(GuiLanguage, QtsOwnTextsAreChinese) {
    ASSERT_TRUE(gui::AppStartup::speakChinese()) << "qt6-translations-l10n is not installed";
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), QStringLiteral("是(&Y)"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    EXPECT_EQ(gui::AppStartup::missingChineseFont(), QString());  // the set-up installs one
}

TEST_F(GuiFixture, StartUpWithoutDatabaseStopsWithTheStartUpFailure) {
    makeProgramDir(/*withDatabase=*/false);
    auto w = startWindow();
    EXPECT_FALSE(started);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("启动失败"));
    EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("数据库文件 tovi.sdb 不存在，无法工作！")));
    EXPECT_FALSE(child<QPushButton>(w.get(), QStringLiteral("运行"))->isEnabled());
    EXPECT_FALSE(child<QPushButton>(w.get(), QStringLiteral("一键提取"))->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(dir / "tovi.sdb"));
    // A disabled button looks disabled: not in the colour of an enabled one.
    auto* oneClick = child<QPushButton>(w.get(), QStringLiteral("一键提取"));
    const QRgb disabledColour = oneClick->grab().toImage().pixel(4, oneClick->height() / 2);
    oneClick->setEnabled(true);
    const QRgb enabledColour = oneClick->grab().toImage().pixel(4, oneClick->height() / 2);
    EXPECT_NE(disabledColour, enabledColour);
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
    EXPECT_TRUE(started);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tovidesk v2.13 （老司机必备神器）"));
    EXPECT_EQ(child<QLabel>(w.get(), QStringLiteral("软件名标签"))->text(), QStringLiteral("老司机"));
    EXPECT_EQ(child<QLineEdit>(w.get(), QStringLiteral("频率框"))->text(), QStringLiteral("30"));
    // A zero width falls back to the design size, within the screen it opens on.
    EXPECT_EQ(w->size(), QSize(1000, 720).boundedTo(w->screen()->availableGeometry().size()));
    EXPECT_EQ(articleList(w.get())->verticalHeader()->defaultSectionSize(), 30);  // 17 is too low

    QTreeWidget* tree = planTree(w.get());
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(tree->topLevelItem(1)->isExpanded());
    QTreeWidgetItem* forum = tree->topLevelItem(0);
    EXPECT_EQ(forum->child(0)->text(0), QStringLiteral("论坛甲 [1]"));
    EXPECT_EQ(forum->child(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(forum->child(1)->checkState(0), Qt::Unchecked);
    // Ticking a category ticks its plans; unticking one plan leaves the category ticked.
    forum->setCheckState(0, Qt::Checked);
    EXPECT_EQ(forum->child(1)->checkState(0), Qt::Checked);
    forum->child(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(forum->checkState(0), Qt::Checked);
    EXPECT_FALSE(child<QTextBrowser>(w.get(), QStringLiteral("网页框"))->isHidden());

    // Colours: a missing 行色1 is light, not black; 行色2 = 255 is red.
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    QTableWidget* list = articleList(w.get());
    EXPECT_EQ(list->item(0, 1)->background().color(),
              gui::ArticleListWidget::fromColorRef(Settings::kDefaultRowColor1));
    EXPECT_EQ(list->item(1, 1)->background().color(), QColor(255, 0, 0));
}

TEST_F(GuiFixture, ViewsPagingAndSearch) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    QTableWidget* list = articleList(w.get());
    // Before any load, "上一页" says page 1 instead of asking for page -1.
    articleMenuChoose(w.get(), QStringLiteral("上一页"));
    EXPECT_EQ(statusText(w.get()), QStringLiteral("已经是第 1 页！"));

    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    EXPECT_TRUE(child<QTextBrowser>(w.get(), QStringLiteral("网页框"))->isHidden());
    EXPECT_EQ(statusText(w.get()), QStringLiteral("已刷新列表"));
    ASSERT_EQ(list->rowCount(), 100);
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("250"));
    EXPECT_EQ(list->item(0, 2)->text(), QStringLiteral("标题250"));
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), QStringLiteral("帖子标题"));

    articleMenuChoose(w.get(), QStringLiteral("下一页"));
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("150"));
    EXPECT_TRUE(statusText(w.get()).startsWith(QStringLiteral("已经下翻1页！当前页码：2")));
    articleMenuChoose(w.get(), QStringLiteral("下一页"));
    EXPECT_EQ(list->rowCount(), 50);
    articleMenuChoose(w.get(), QStringLiteral("上一页"));
    EXPECT_EQ(statusText(w.get()), QStringLiteral("已经上翻1页！当前页码：2"));

    // Selecting a plan shows only its articles.
    addPlan(2, 1, "方案2", "http://x.example/", 0);
    contextMenu(planTree(w.get())->viewport());
    choose(child<QMenu>(w.get(), QStringLiteral("栏目菜单")), QStringLiteral("刷新方案列表"));
    QTreeWidget* tree = planTree(w.get());
    tree->expandAll();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(0)->child(0)).center());
    ASSERT_EQ(list->rowCount(), 100);
    EXPECT_EQ(list->item(0, 1)->text(), QStringLiteral("方案2"));

    auto* search = child<QLineEdit>(w.get(), QStringLiteral("搜索框"));
    search->setFocus();
    typeInto(search, QStringLiteral("标题25"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(list->rowCount(), 2);  // 标题250 and 标题25

    click(child<QPushButton>(w.get(), QStringLiteral("收藏按钮")));
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(GuiFixture, FavouriteOpenAndDetailsActOnTheSelectedRow) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    QTableWidget* list = articleList(w.get());
    // Nothing selected: the favourite item is disabled, a double-click does nothing.
    contextMenu(list->viewport());
    EXPECT_FALSE(action(articleMenu(w.get()), QStringLiteral("收藏文章"))->isEnabled());
    articleMenu(w.get())->close();
    EXPECT_EQ(statusText(w.get()), QStringLiteral("已刷新列表"));

    clickRow(list, 0);
    EXPECT_TRUE(statusText(w.get()).endsWith(
        QStringLiteral("NO.250 [方案1] 标题250（http://x.example/250）----12/9 7:05；状态：0；备注：备注")));
    articleMenuChoose(w.get(), QStringLiteral("加入到收藏夹"));
    EXPECT_TRUE(statusText(w.get()).startsWith(QStringLiteral("文章收藏成功！")));
    EXPECT_TRUE(
        statusText(w.get()).contains(QStringLiteral("update info set issoucang=1 where id=250SQL成功！")));
    // The one-line bar shows the last line: the words, not the statement.
    EXPECT_TRUE(statusText(w.get()).endsWith(QStringLiteral("\n文章收藏成功！")))
        << statusText(w.get()).toStdString();

    click(child<QPushButton>(w.get(), QStringLiteral("收藏按钮")));
    ASSERT_EQ(list->rowCount(), 1);
    clickRow(list, 0);
    articleMenuChoose(w.get(), QStringLiteral("移出收藏夹"));
    EXPECT_TRUE(statusText(w.get()).startsWith(QStringLiteral("已移出收藏夹！ 刷新收藏夹可见效果")));
    click(child<QPushButton>(w.get(), QStringLiteral("收藏按钮")));
    EXPECT_EQ(list->rowCount(), 0);

    // Only web links go to the browser.
    Database db;
    db.open(dir / "tovi.sdb");
    db.run("update info set url='file:///etc/passwd' where id=250");
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    const QPoint cell = list->visualItemRect(list->item(0, 2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_TRUE(statusText(w.get()).contains(
        QStringLiteral("只能打开 http:// 或 https:// 开头的链接：file:///etc/passwd")))
        << statusText(w.get()).toStdString();
}

TEST_F(GuiFixture, TrayMenuChecksFollowTheSwitches) {
    makeProgramDir();
    Settings s(dir / "tovimo.ini");
    s.write(SettingKey::soundAlert(), "1");
    auto w = startWindow();
    QMenu* menu = child<QMenu>(w.get(), QStringLiteral("托盘菜单"));
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, (QStringList{"选项设置", "-", "有新文章时 播放声音", "有新文章时 切换图标",
                                  "有新文章时 弹出通知", "推送新文章", "-", "记住当前 界面大小、频率",
                                  "关于...", "退出"}));
    menu->popup(QPoint(10, 10));
    EXPECT_TRUE(action(menu, QStringLiteral("有新文章时 播放声音"))->isChecked());
    EXPECT_FALSE(action(menu, QStringLiteral("有新文章时 切换图标"))->isChecked());
    choose(menu, QStringLiteral("有新文章时 播放声音"));
    menu->popup(QPoint(10, 10));
    choose(menu, QStringLiteral("有新文章时 切换图标"));
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(action(menu, QStringLiteral("有新文章时 播放声音"))->isChecked());
    EXPECT_TRUE(action(menu, QStringLiteral("有新文章时 切换图标"))->isChecked());
    menu->close();
    EXPECT_EQ(s.read(SettingKey::soundAlert()), "0");
    EXPECT_EQ(s.read(SettingKey::iconAlert()), "1");
    // Notifications are on until switched off.
    menu->popup(QPoint(10, 10));
    EXPECT_TRUE(action(menu, QStringLiteral("有新文章时 弹出通知"))->isChecked());
    choose(menu, QStringLiteral("有新文章时 弹出通知"));
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(action(menu, QStringLiteral("有新文章时 弹出通知"))->isChecked());
    menu->close();
    EXPECT_EQ(s.read(SettingKey::notifyAlert()), "0");
    // Pushing new articles is kept in tovi.sdb, where runs from the command line read it too.
    Database db;
    ASSERT_TRUE(db.open(dir / "tovi.sdb"));
    menu->popup(QPoint(10, 10));
    EXPECT_TRUE(action(menu, QStringLiteral("推送新文章"))->isChecked());
    choose(menu, QStringLiteral("推送新文章"));
    EXPECT_FALSE(pushNewArticlesOn(db));
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(action(menu, QStringLiteral("推送新文章"))->isChecked());
    choose(menu, QStringLiteral("推送新文章"));
    EXPECT_TRUE(pushNewArticlesOn(db));
    choose(menu, QStringLiteral("关于..."));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("关于 Tovidesk"));
}

TEST_F(GuiFixture, SaveWindowSettingsStoresTheRestoredSizeOrSaysItCannot) {
    makeProgramDir();
    auto w = startWindow();
    w->resize(900, 650);
    typeInto(child<QLineEdit>(w.get(), QStringLiteral("频率框")), QStringLiteral("45"));
    QMenu* menu = child<QMenu>(w.get(), QStringLiteral("托盘菜单"));
    choose(menu, QStringLiteral("记住当前 界面大小、频率"));
    Settings s(dir / "tovimo.ini");
    EXPECT_EQ(s.read(SettingKey::width()), "900");
    EXPECT_EQ(s.read(SettingKey::height()), "650");
    EXPECT_EQ(s.read(SettingKey::frequency()), "45");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("　保存成功！"));

    // A read-only settings file stays as it was, and the user is told.
    const std::string before = test::readFile(dir / "tovimo.ini");
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_read);
    w->resize(800, 600);
    choose(menu, QStringLiteral("记住当前 界面大小、频率"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("保存失败，请重试！"));
    EXPECT_EQ(test::readFile(dir / "tovimo.ini"), before);
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_all);
}

TEST(MainLayout, DesignArithmetic) {
    struct Case {
        int W, H;
        QRect close, minimise, settings, grip, tree, left, right, list, status;
        int title;
    } cases[] = {
        {800,
         600,
         {760, 8, 36, 36},
         {724, 8, 36, 36},
         {688, 8, 36, 36},
         {792, 592, 7, 7},
         {4, 73, 220, 480},
         {3, 557, 220, 40},
         {220, 50, 578, 525},
         {0, 0, 578, 525},
         {226, 570, 570, 24},
         285},
        {1000,
         720,
         {960, 8, 36, 36},
         {924, 8, 36, 36},
         {888, 8, 36, 36},
         {992, 712, 7, 7},
         {4, 73, 220, 600},
         {3, 677, 220, 40},
         {220, 50, 778, 645},
         {0, 0, 778, 645},
         {226, 690, 770, 24},
         485},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        auto l = gui::MainLayout::forSize(c.W, c.H);
        EXPECT_EQ(l.closeButton, c.close);
        EXPECT_EQ(l.minimise, c.minimise);
        EXPECT_EQ(l.settings, c.settings);
        EXPECT_EQ(l.grip, c.grip);
        EXPECT_EQ(l.planTree, c.tree);
        EXPECT_EQ(l.leftPanel, c.left);
        EXPECT_EQ(l.rightPanel, c.right);
        EXPECT_EQ(l.articleList, c.list);
        EXPECT_EQ(l.statusBox, c.status);
        EXPECT_EQ(l.titleColumnWidth, c.title);
    }
}

TEST(MainLayoutPane, TheTreePaneWidensWithinTheWindowAndTheSmallestWindowKeepsEveryControl) {
    const auto l = gui::MainLayout::forSize(1000, 720, 300);
    EXPECT_EQ(l.planTree, QRect(4, 73, 300, 600));
    EXPECT_EQ(l.leftPanel, QRect(3, 677, 220, 40));  // the run panel keeps its design
    EXPECT_EQ(l.rightPanel, QRect(300, 50, 698, 645));
    EXPECT_EQ(l.statusBox, QRect(306, 690, 690, 24));
    EXPECT_EQ(l.titleColumnWidth, 405);
    EXPECT_EQ(gui::MainLayout::clampPane(100, 1000), 220);
    EXPECT_EQ(gui::MainLayout::clampPane(900, 1000), 700);  // the list keeps 300 pixels
    const auto smallest = gui::MainLayout::forSize(Settings::kMinWidth, Settings::kMinHeight);
    EXPECT_GT(smallest.settings.left(), gui::MainLayout::kSearchFrame.right());
    EXPECT_GE(smallest.planTree.height(), 150);
    EXPECT_GT(smallest.leftPanel.top(), gui::MainLayout::kFavouritesButton.bottom());
}

TEST_F(GuiFixture, TheTreePaneIsDraggedWiderAndRemembered) {
    makeProgramDir();
    auto w = startWindow();
    w->resize(1000, 720);
    w->show();
    QApplication::processEvents();
    EXPECT_EQ(w->minimumSize(), QSize(Settings::kMinWidth, Settings::kMinHeight));
    auto* handle = child<QWidget>(w.get(), QStringLiteral("分隔条"));
    const QPoint grab = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grab);
    const QPointF to(grab + QPoint(80, 0));
    QMouseEvent move(QEvent::MouseMove, to, handle->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grab + QPoint(80, 0));
    const int wider = planTree(w.get())->width();
    EXPECT_GE(wider, 295);
    EXPECT_LE(wider, 305);
    w.reset();
    auto again = startWindow();
    again->resize(1000, 720);
    again->show();
    QApplication::processEvents();
    EXPECT_EQ(planTree(again.get())->width(), wider);
}

TEST_F(GuiFixture, LayoutFollowsTheWindowSize) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    w->resize(800, 600);
    QApplication::processEvents();
    QTableWidget* list = articleList(w.get());
    EXPECT_EQ(list->size(), QSize(578, 525));
    EXPECT_EQ(list->mapTo(w.get(), QPoint(0, 0)), QPoint(220, 50));
    EXPECT_EQ(list->columnWidth(2), 285);
    EXPECT_EQ(list->columnWidth(6), 94);  // 备用 keeps its width
    EXPECT_EQ(child<QWidget>(w.get(), QStringLiteral("状态框"))->geometry(), QRect(226, 570, 570, 24));
    EXPECT_EQ(child<QWidget>(w.get(), QStringLiteral("关闭按钮"))->geometry().left(), 760);
    EXPECT_EQ(child<QWidget>(w.get(), QStringLiteral("拖动图"))->geometry().topLeft(), QPoint(792, 592));
}

TEST_F(GuiFixture, SelectionIsDrawnOnlyWhileTheListHasTheFocus) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    QTableWidget* list = articleList(w.get());
    list->selectRow(0);
    list->clearFocus();
    QApplication::processEvents();
    const QPoint cell = list->visualItemRect(list->item(0, 4)).center();
    QColor shown = list->viewport()->grab().toImage().pixelColor(cell);
    EXPECT_EQ(shown, gui::ArticleListWidget::fromColorRef(Settings::kDefaultRowColor1));
    EXPECT_FALSE(list->selectionModel()->selectedRows().isEmpty());  // still selected, only not drawn
}

TEST_F(GuiFixture, RightClickOnTheTreeSelectsNothing) {
    makeProgramDir();
    addPlan(1, 1, "论坛甲", "http://a.example/", 1);
    addPlan(2, 1, "论坛乙", "http://b.example/", 1);
    auto w = startWindow();
    w->show();
    QTreeWidget* tree = planTree(w.get());
    QTreeWidgetItem* first = tree->topLevelItem(0)->child(0);
    QTreeWidgetItem* second = tree->topLevelItem(0)->child(1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(first).center());
    ASSERT_EQ(tree->currentItem(), first);
    const int rows = articleList(w.get())->rowCount();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(second).center());
    EXPECT_EQ(tree->currentItem(), first);
    EXPECT_TRUE(first->isSelected());
    EXPECT_EQ(articleList(w.get())->rowCount(), rows);
}

TEST_F(GuiFixture, StatusBoxKeepsLinesAsBlocksWithACap) {
    EXPECT_TRUE(QFile(QStringLiteral(":/tovidesk/alert.wav")).exists());  // the alert sound is built in
    gui::StatusBox box;
    box.appendGbk(gbk("\r\n开始"));
    box.appendGbk(gbk("、继续"));
    EXPECT_EQ(box.toPlainText(), QStringLiteral("\n开始、继续"));
    for (int i = 0; i < gui::StatusBox::kMaxLines + 100; ++i) box.appendGbk("\r\nline " + std::to_string(i));
    EXPECT_LE(box.blockCount(), gui::StatusBox::kMaxLines);
    EXPECT_TRUE(box.toPlainText().endsWith(QStringLiteral("line 5099")));
}

TEST_F(GuiFixture, MiniHomePageToggles) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    auto* home = child<QTextBrowser>(w.get(), QStringLiteral("网页框"));
    auto* toggle = child<QToolButton>(w.get(), QStringLiteral("迷你首页"));
    EXPECT_TRUE(home->isVisible());
    click(toggle);
    EXPECT_FALSE(home->isVisible());
    click(toggle);
    EXPECT_TRUE(home->isVisible());
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));  // every list load closes it
    EXPECT_FALSE(home->isVisible());
    EXPECT_FALSE(toggle->isChecked());
}

TEST_F(GuiFixture, ABrokenDatabaseIsNamedByEveryRunButton) {
    makeProgramDir();
    test::writeFile(dir / "tovi.sdb", std::string(4096, 'x'));  // not a database at all
    auto w = startWindow();
    EXPECT_TRUE(dialogs.saw(QStringLiteral("数据库打开失败！")));
    dialogs.shown.clear();
    click(child<QPushButton>(w.get(), QStringLiteral("一键提取")));
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("数据库文件 tovi.sdb 无法使用")))
        << dialogs.shown.back().text.toStdString();
    EXPECT_TRUE(dialogs.shown.back().text.contains(QString::fromStdString((dir / "tovi.sdb").string())));
    EXPECT_FALSE(dialogs.saw(QStringLiteral("执行队列为空")));
    EXPECT_FALSE(child<QPushButton>(w.get(), QStringLiteral("运行"))->isEnabled());
}

TEST_F(GuiFixture, RefreshWhileMonitoringKeepsItRunning) {
    makeProgramDir();
    addPlan(1, 1, "无法访问", "http://127.0.0.1:1/", 1);
    gui::MonitorTiming timing;
    timing.cyclePause = std::chrono::hours(1);
    auto w = startWindow(timing);
    typeInto(child<QLineEdit>(w.get(), QStringLiteral("频率框")), QStringLiteral("10"));
    auto* run = child<QPushButton>(w.get(), QStringLiteral("运行"));
    click(run);
    ASSERT_EQ(run->text(), QStringLiteral("停止监控"));
    contextMenu(planTree(w.get())->viewport());
    choose(child<QMenu>(w.get(), QStringLiteral("栏目菜单")), QStringLiteral("刷新方案列表"));
    EXPECT_FALSE(dialogs.saw(QStringLiteral("请先停止进行中的任务！")));
    EXPECT_EQ(run->text(), QStringLiteral("停止监控"));
    EXPECT_EQ(planTree(w.get())->topLevelItem(0)->child(0)->checkState(0), Qt::Checked);
    click(run);
    EXPECT_EQ(run->text(), QStringLiteral("监控勾选"));
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

using test::child;
using test::GuiFixture;

// Without a window manager to ask (as offscreen), the window moves and resizes by our own hand;
// a quick tap on the title bar moves nothing and leaves nothing stuck to the pointer.
TEST_F(GuiFixture, TheWindowMovesAndResizesWithoutAWindowManager) {
    makeProgramDir();
    auto w = startWindow();
    w->show();
    w->move(100, 100);
    QWidget* title = child<QWidget>(w.get(), QStringLiteral("标题栏"));
    const QPoint at(200, 20);
    // A tap: press and release at once.
    QTest::mousePress(title, Qt::LeftButton, {}, at);
    QTest::mouseRelease(title, Qt::LeftButton, {}, at);
    QMouseEvent hover(QEvent::MouseMove, QPointF(at + QPoint(80, 60)),
                      title->mapToGlobal(QPointF(at + QPoint(80, 60))), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(title, &hover);
    EXPECT_EQ(w->pos(), QPoint(100, 100));
    // A drag.
    QTest::mousePress(title, Qt::LeftButton, {}, at);
    QMouseEvent drag(QEvent::MouseMove, QPointF(at + QPoint(40, 30)),
                     title->mapToGlobal(QPointF(at + QPoint(40, 30))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(title, &drag);
    QTest::mouseRelease(title, Qt::LeftButton, {}, at + QPoint(40, 30));
    EXPECT_EQ(w->pos(), QPoint(140, 130));
    // The corner grip resizes.
    QWidget* grip = child<QWidget>(w.get(), QStringLiteral("拖动图"));
    const QSize before = w->size();
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 2));
    QMouseEvent pull(QEvent::MouseMove, QPointF(52, 32), grip->mapToGlobal(QPointF(52, 32)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &pull);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(52, 32));
    EXPECT_EQ(w->size(), before + QSize(50, 30));
    // A double-click on the title bar fills the screen's free area, and another puts it back.
    const QRect normal = w->geometry();
    QTest::mouseDClick(title, Qt::LeftButton, {}, at);
    EXPECT_EQ(w->geometry(), w->screen()->availableGeometry());
    QTest::mouseDClick(title, Qt::LeftButton, {}, at);
    EXPECT_EQ(w->geometry(), normal);
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// From the keyboard alone every control of the window is reached, in a sensible order, never
// one the home page covers, and every one shows that it has the focus.
TEST_F(GuiFixture, TabReachesEveryControlInOrder) {
    makeProgramDir();
    auto w = test::GuiFixture::startWindow();
    w->show();
    QApplication::setActiveWindow(w.get());
    QWidget* search = child<QWidget>(w.get(), QStringLiteral("搜索框"));
    auto tabRound = [&] {
        search->setFocus();
        EXPECT_TRUE(test::waitUntil([&] { return search->hasFocus(); }));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 13; ++i) {
            // The focused control looks different from how it looks without the focus.
            QWidget* focused = QApplication::focusWidget();
            const QImage with = focused->grab().toImage();
            focused->clearFocus();
            const QImage without = focused->grab().toImage();
            focused->setFocus(Qt::TabFocusReason);
            EXPECT_NE(with, without) << "no focus frame on " << focused->objectName().toStdString();
            QTest::keyClick(focused, Qt::Key_Tab);
            visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
        }
        return visited;
    };
    // The home page covers the list at start: the list is not a stop then.
    const QStringList covered{
        QStringLiteral("搜索框"),       QStringLiteral("栏目框"),   QStringLiteral("频率框"),
        QStringLiteral("运行"),         QStringLiteral("一键提取"), QStringLiteral("收藏按钮"),
        QStringLiteral("全部文章按钮"), QStringLiteral("迷你首页"), QStringLiteral("设置"),
        QStringLiteral("最小化"),       QStringLiteral("关闭按钮"), QStringLiteral("状态框"),
        QStringLiteral("网页框"),       QStringLiteral("搜索框")};
    QStringList visited = tabRound();
    EXPECT_EQ(visited, covered) << visited.join(QStringLiteral(" ")).toStdString();
    click(child<QToolButton>(w.get(), QStringLiteral("迷你首页")));  // the list shows
    const QStringList open{
        QStringLiteral("搜索框"),   QStringLiteral("栏目框"),       QStringLiteral("频率框"),
        QStringLiteral("运行"),     QStringLiteral("一键提取"),     QStringLiteral("文章列表框"),
        QStringLiteral("收藏按钮"), QStringLiteral("全部文章按钮"), QStringLiteral("迷你首页"),
        QStringLiteral("设置"),     QStringLiteral("最小化"),       QStringLiteral("关闭按钮"),
        QStringLiteral("状态框"),   QStringLiteral("搜索框")};
    visited = tabRound();
    EXPECT_EQ(visited, open) << visited.join(QStringLiteral(" ")).toStdString();
    // Each stop has a name a screen reader can say.
    for (const QString& name : open) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child<QWidget>(w.get(), name));
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty()) << name.toStdString();
    }
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

using test::child;

// The tree's menu acts on the row under the pointer, not on the one selected before.
TEST_F(GuiFixture, TheTreeMenuActsOnTheRowRightClicked) {
    makeProgramDir();
    // Addresses no browser takes: what would be opened is said in the status line instead.
    addPlan(1, 1, "方案甲", "ftp://plan-one.example/", 0);
    addPlan(2, 1, "方案乙", "ftp://plan-two.example/", 0);
    auto w = startWindow();
    auto* tree = child<QTreeWidget>(w.get(), QStringLiteral("栏目框"));
    tree->expandAll();
    QTreeWidgetItem* first = tree->topLevelItem(0)->child(0);
    QTreeWidgetItem* second = tree->topLevelItem(0)->child(1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(first).center());
    ASSERT_TRUE(first->isSelected());
    test::contextMenu(tree->viewport(), tree->visualItemRect(second).center());
    test::choose(child<QMenu>(w.get(), QStringLiteral("栏目菜单")), QStringLiteral("在浏览器中打开"));
    EXPECT_TRUE(test::statusText(w.get()).contains(QStringLiteral("ftp://plan-two.example/")))
        << test::statusText(w.get()).toStdString();
    EXPECT_FALSE(test::statusText(w.get()).contains(QStringLiteral("ftp://plan-one.example/")));
    EXPECT_TRUE(first->isSelected());  // the right click selected nothing
}

// From the keyboard alone: Enter (or Space) on an article opens it, as a double click does.
TEST_F(GuiFixture, EnterOnAnArticleOpensIt) {
    makeProgramDir();
    {
        Database db;
        db.open(dir / "tovi.sdb");
        db.run("delete from info");
        db.run(
            Statement("insert into info(planname,planid,title,url,other,addtime,issoucang) "
                      "values('p',1,?,'ftp://article.example/7','','12/9 7:05',0)",
                      {gbk("键盘打开")}));
    }
    auto w = startWindow();
    click(child<QPushButton>(w.get(), QStringLiteral("全部文章按钮")));
    auto* list = child<QTableWidget>(w.get(), QStringLiteral("文章列表框"));
    ASSERT_EQ(list->rowCount(), 1);
    list->setFocus();
    list->selectRow(0);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        QTest::keyClick(list, key);
        // An address no browser takes is said instead of opened.
        EXPECT_EQ(test::statusText(w.get()).count(QStringLiteral("ftp://article.example/7")),
                  key == Qt::Key_Return ? 1 : 2)
            << test::statusText(w.get()).toStdString();
    }
}

// The window never opens larger than the screen it lands on, nor off every screen there is.
TEST(ScreenFit, TheWindowStaysOnAScreenAndWithinIt) {
    const QRect laptop(0, 0, 1280, 770), second(1280, 0, 1920, 1050);
    struct Case {
        const char* what;
        QRect wanted;
        QList<QRect> screens;
        QRect fitted;
    } cases[] = {
        {"fits as it is", {100, 100, 800, 600}, {laptop}, {100, 100, 800, 600}},
        {"larger than a scaled screen", {0, 0, 1500, 1079}, {laptop}, {0, 0, 1280, 770}},
        {"hanging over the edge", {900, 500, 800, 600}, {laptop}, {480, 170, 800, 600}},
        {"on the monitor now unplugged", {2000, 200, 800, 600}, {laptop}, {480, 170, 800, 600}},
        {"on the second monitor", {2000, 200, 800, 600}, {laptop, second}, {2000, 200, 800, 600}},
        {"above the top", {100, -300, 800, 600}, {laptop}, {100, 0, 800, 600}},
        {"no screen known", {5, 5, 10, 10}, {}, {5, 5, 10, 10}},
    };
    for (const Case& c : cases) EXPECT_EQ(gui::fitToScreens(c.wanted, c.screens), c.fitted) << c.what;
}

}  // namespace
}  // namespace tovi
