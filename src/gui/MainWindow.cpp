#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QIntValidator>
#include <QMouseEvent>
#include <QPainter>
#include <QSoundEffect>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "core/articles/ArticleActions.h"
#include "core/monitor/MonitorEngine.h"
#include "core/settings/WindowSettings.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"
#include "gui/ArticleListWidget.h"
#include "gui/Artwork.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/GuiThread.h"
#include "gui/HotKey.h"
#include "gui/PlanTreeWidget.h"
#include "gui/StatusBox.h"

// The alert sound is built into the GUI library; a static library needs its resources named.
static void initGuiResources() { Q_INIT_RESOURCE(resources); }

namespace tovi::gui {
namespace {

const QString kSearchHint = QStringLiteral("输入关键词，回车搜索");
const QString kTrayTip = QStringLiteral("Tovi监控");
const QString kAlertTip = QStringLiteral("有新的消息！");

QString homePageHtml() {
    return QStringLiteral(
        "<html><body style='font-family: sans-serif; color:#33414E; margin:24px;'>"
        "<h2 style='color:#2D7DD2;'>Tovidesk 迷你首页</h2>"
        "<p>Tovidesk 替你盯着论坛版块和新闻栏目，一有新文章就提醒你。</p>"
        "<ol>"
        "<li>在左边的方案树里勾选要监控的方案；</li>"
        "<li>在下方填好监控频率（秒，不低于 10），点 <b>监控勾选</b>；</li>"
        "<li>有新文章时会响提示音、托盘图标变色；点托盘图标或 <b>重载文章列表</b> 查看；</li>"
        "<li>右键文章可收藏、翻页，双击在浏览器中打开。</li>"
        "</ol>"
        "<p>方案的新建、测试和管理在 <b>设置 → 选项设置</b> 里。</p>"
        "<p style='color:#8A96A3;'>点左上角的小房子按钮可以关闭或重新打开这一页。</p>"
        "</body></html>");
}

}  // namespace

MainWindow::MainWindow(std::filesystem::path programDir, Dialogs& dialogs, PlanFetcher fetch)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_dir(std::move(programDir)),
      m_dialogs(dialogs),
      m_fetch(std::move(fetch)),
      m_settings(m_dir / "tovimo.ini") {
    initGuiResources();
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(artwork::appIcon());
    setMinimumSize(Settings::kMinWidth, Settings::kMinHeight);
    buildWidgets();
    buildMenus();
    m_sink = std::make_unique<GuiStatusSink>(m_status);
    m_monitoring = std::make_unique<Monitoring>(m_db, *m_sink, static_cast<AlertSink&>(*this),
                                                static_cast<MonitorListener*>(this), m_fetch);
    m_browser = std::make_unique<ArticleBrowser>(m_db);
    // A GUI thread waiting for the database keeps the window painted.
    m_db.setWaitHook([] {
        if (QThread::currentThread() == qApp->thread())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    });
}

MainWindow::~MainWindow() {
    shutdownMonitoring();
    if (m_tray) m_tray->hide();
}

void MainWindow::setArticlePause(std::chrono::milliseconds pause) {
    m_articlePause = pause;
    m_monitoring->extractor().setArticlePause(pause);
}

// ---------------------------------------------------------------- widgets

void MainWindow::buildWidgets() {
    setObjectName("MainWindow");
    setStyleSheet(QStringLiteral(
        "#MainWindow { background: #EEF2F6; }"
        "#titleBar { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1F5FA8, stop:1 #2D7DD2); }"
        "#nameLabel { color: white; font-size: 15px; font-weight: bold; background: transparent; }"
        "#searchFrame { background: white; border-radius: 13px; }"
        "#searchBox { border: none; background: transparent; color: #33414E; }"
        "QToolButton#chrome { border: none; border-radius: 4px; background: transparent; }"
        "QToolButton#chrome:hover { background: rgba(255,255,255,40); }"
        "QToolButton#closeButton { border: none; border-radius: 4px; background: transparent; }"
        "QToolButton#closeButton:hover { background: #E5484D; }"
        "QPushButton#viewButton { background: #FFFFFF; border: 1px solid #C9D3DE; border-radius: 3px; color: "
        "#1F5FA8; }"
        "QPushButton#viewButton:hover { background: #E3EEFA; }"
        "QToolButton#homeToggle { background: #2D7DD2; border: none; border-radius: 3px; }"
        "QToolButton#homeToggle:checked { background: #1F5FA8; }"
        "QPushButton#runButton, QPushButton#oneClickButton { background: #2D7DD2; color: white; border: none;"
        " border-radius: 3px; }"
        "QPushButton#runButton:hover, QPushButton#oneClickButton:hover { background: #3B8BE0; }"
        "QPushButton:disabled { background: #B8C2CC; color: #EEF2F6; }"
        "QTreeWidget { background: white; border: 1px solid #D5DCE4; }"
        "#leftPanel { background: transparent; }"
        "QLineEdit#frequencyBox { border: 1px solid #C9D3DE; border-radius: 2px; background: white; }"
        "QPlainTextEdit { background: #F8FAFC; color: #33414E; border-top: 1px solid #D5DCE4; }"));

    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName("titleBar");
    m_titleBar->setAttribute(Qt::WA_StyledBackground);
    m_titleBar->installEventFilter(this);
    m_titleIcon = new QLabel(m_titleBar);
    m_titleIcon->setPixmap(artwork::appIcon().pixmap(32, 32));
    m_titleIcon->setGeometry(8, 9, 32, 32);
    m_titleIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_nameLabel = new QLabel(QStringLiteral("Tovidesk"), m_titleBar);
    m_nameLabel->setObjectName("nameLabel");
    m_nameLabel->setGeometry(46, 14, 136, 24);
    m_nameLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_searchFrame = new QLabel(m_titleBar);
    m_searchFrame->setObjectName("searchFrame");
    m_searchFrame->setGeometry(320, 13, 212, 26);
    m_search = new QLineEdit(kSearchHint, m_titleBar);
    m_search->setObjectName("searchBox");
    m_search->setGeometry(332, 13, 189, 26);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::returnPressed, this, &MainWindow::searchArticles);

    auto chrome = [this](const QIcon& icon, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName("chrome");
        b->setIcon(icon);
        b->setIconSize(QSize(36, 36));
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    m_minimise = chrome(artwork::minimiseIcon(), QStringLiteral("最小化"));
    m_close = chrome(artwork::closeIcon(), QStringLiteral("关闭"));
    m_close->setObjectName("closeButton");
    m_settingsButton = chrome(artwork::settingsIcon(), QStringLiteral("设置"));
    connect(m_minimise, &QToolButton::clicked, this, &MainWindow::minimiseWindow);
    connect(m_close, &QToolButton::clicked, this, &MainWindow::close);
    connect(m_settingsButton, &QToolButton::clicked, this, [this] {
        updateTrayMenuChecks();
        m_trayMenu->popup(m_settingsButton->mapToGlobal(QPoint(0, m_settingsButton->height())));
    });

    m_favouritesButton = new QPushButton(QStringLiteral("收藏的文章"), this);
    m_favouritesButton->setObjectName("viewButton");
    m_favouritesButton->setToolTip(QStringLiteral("我收藏的文章"));
    m_favouritesButton->setGeometry(5, 50, 84, 24);
    connect(m_favouritesButton, &QPushButton::clicked, this, &MainWindow::showFavourites);
    m_allButton = new QPushButton(QStringLiteral("重载文章列表"), this);
    m_allButton->setObjectName("viewButton");
    m_allButton->setToolTip(QStringLiteral("显示所有的文章"));
    m_allButton->setGeometry(90, 50, 99, 24);
    connect(m_allButton, &QPushButton::clicked, this, &MainWindow::showAllArticles);
    m_homeToggle = new QToolButton(this);
    m_homeToggle->setObjectName("homeToggle");
    m_homeToggle->setCheckable(true);
    m_homeToggle->setChecked(true);
    m_homeToggle->setIcon(artwork::homeIcon());
    m_homeToggle->setIconSize(QSize(20, 20));
    m_homeToggle->setToolTip(QStringLiteral("迷你首页"));
    m_homeToggle->setGeometry(189, 50, 39, 24);
    connect(m_homeToggle, &QToolButton::clicked, this, &MainWindow::toggleMiniHomePage);

    m_tree = new PlanTreeWidget(this);
    m_tree->setGeometry(4, 73, 220, 379);
    connect(m_tree, &PlanTreeWidget::planSelected, this, &MainWindow::showPlanArticles);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const bool selected = m_tree->currentItem() && m_tree->currentItem()->isSelected();
        m_openPlanAction->setEnabled(selected && !m_tree->selectionIsCategory());
        m_managePlansAction->setVisible(selected);
        if (selected) m_tree->setFocus();
        m_treeMenu->popup(m_tree->viewport()->mapToGlobal(pos));
    });

    m_leftPanel = new QWidget(this);
    m_leftPanel->setObjectName("leftPanel");
    auto* label = new QLabel(QStringLiteral("频率"), m_leftPanel);
    label->setGeometry(5, 8, 30, 28);
    m_frequency = new QLineEdit(m_leftPanel);
    m_frequency->setObjectName("frequencyBox");
    m_frequency->setGeometry(33, 11, 40, 22);
    m_frequency->setToolTip(QStringLiteral("两轮监控之间的秒数，不低于 10"));
    m_run = new QPushButton(QString::fromUtf8(kIdleCaption), m_leftPanel);
    m_run->setObjectName("runButton");
    m_run->setToolTip(QStringLiteral("自动监控被勾选项目的新文章"));
    m_run->setGeometry(76, 8, 67, 26);
    connect(m_run, &QPushButton::clicked, this, &MainWindow::toggleMonitoring);
    m_oneClick = new QPushButton(QStringLiteral("一键提取"), m_leftPanel);
    m_oneClick->setObjectName("oneClickButton");
    m_oneClick->setToolTip(QStringLiteral("获取所有方案的新文章"));
    m_oneClick->setGeometry(147, 8, 67, 26);
    connect(m_oneClick, &QPushButton::clicked, this, &MainWindow::oneClickExtract);

    m_rightPanel = new QWidget(this);
    m_list = new ArticleListWidget(m_rightPanel);
    connect(m_list, &QTableWidget::cellClicked, this, &MainWindow::showSelectedDetails);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &MainWindow::openSelectedArticle);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ArticleRow row = m_list->selectedArticle();
        m_favouriteAction->setEnabled(!row.empty());
        if (!row.empty()) m_favouriteAction->setText(q(favouriteMenuCaption(row)));
        m_articleMenu->popup(m_list->viewport()->mapToGlobal(pos) + QPoint(3, 3));
    });

    m_status = new StatusBox(this);
    m_status->appendGbk(gbk("欢迎使用 Tovidesk：勾选方案、填好频率，点“监控勾选”开始监控新文章。"));

    m_home = new QTextBrowser(this);
    m_home->setOpenExternalLinks(true);
    m_home->setHtml(homePageHtml());
    m_home->setStyleSheet(QStringLiteral("QTextBrowser { background: white; border: 1px solid #D5DCE4; }"));

    m_grip = new QLabel(this);
    m_grip->setPixmap(artwork::gripPixmap());
    m_grip->setCursor(Qt::SizeFDiagCursor);
    m_grip->installEventFilter(this);
}

void MainWindow::buildMenus() {
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(QStringLiteral("选项设置"), this, [this] { openOptions(2); });
    m_trayMenu->addSeparator();
    m_soundAction =
        m_trayMenu->addAction(QStringLiteral("有新文章时 播放声音"), this, &MainWindow::toggleSoundSwitch);
    m_soundAction->setCheckable(true);
    m_iconAction =
        m_trayMenu->addAction(QStringLiteral("有新文章时 切换图标"), this, &MainWindow::toggleIconSwitch);
    m_iconAction->setCheckable(true);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(QStringLiteral("记住当前 界面大小、频率"), this, &MainWindow::saveWindowSettings);
    m_trayMenu->addAction(QStringLiteral("关于..."), this, &MainWindow::showAbout);
    m_trayMenu->addAction(QStringLiteral("退出"), this, &MainWindow::exitProgram);
    connect(m_trayMenu, &QMenu::aboutToShow, this, &MainWindow::updateTrayMenuChecks);

    m_treeMenu = new QMenu(this);
    m_openPlanAction =
        m_treeMenu->addAction(QStringLiteral("在浏览器中打开"), this, &MainWindow::openSelectedPlanPage);
    m_treeMenu->addSeparator();
    m_treeMenu->addAction(QStringLiteral("新建一个监控方案"), this, [this] { openOptions(1); });
    m_managePlansAction = m_treeMenu->addAction(QStringLiteral("管理方案"), this, [this] { openOptions(0); });
    m_treeMenu->addSeparator();
    m_treeMenu->addAction(QStringLiteral("展开列表"), this, [this] { m_tree->expandAllCategories(); });
    m_treeMenu->addAction(QStringLiteral("刷新方案列表"), this, &MainWindow::refreshIfIdle);

    m_articleMenu = new QMenu(QStringLiteral("文章菜单"), this);
    m_favouriteAction =
        m_articleMenu->addAction(QStringLiteral("收藏文章"), this, &MainWindow::toggleSelectedFavourite);
    m_articleMenu->addSeparator();
    m_articleMenu->addAction(QStringLiteral("上一页"), this, &MainWindow::previousPage);
    m_articleMenu->addAction(QStringLiteral("下一页"), this, &MainWindow::nextPage);
}

void MainWindow::layoutMainWindow() {
    const int W = width(), H = height();
    m_titleBar->setGeometry(0, 0, W, 50);
    m_close->setGeometry(W - 40, 8, 36, 36);
    m_minimise->setGeometry(W - 76, 8, 36, 36);
    m_settingsButton->setGeometry(W - 112, 8, 36, 36);
    m_grip->setGeometry(W - 8, H - 8, 7, 7);
    m_tree->setGeometry(4, 73, 220, H - 120);
    m_leftPanel->setGeometry(3, H - 43, 220, 40);
    m_rightPanel->setGeometry(226, 50, W - 222 - 4, H - 75);
    m_list->setGeometry(0, 0, W - 222 - 4, H - 80);
    m_home->setGeometry(226, 50, W - 230, H - 55);
    m_status->setGeometry(226, H - 30, W - 230, 24);
    m_list->setTitleWidth(W - 515);
    m_titleBar->lower();
    m_grip->raise();
}

// ---------------------------------------------------------------- start-up

bool MainWindow::start() {
    WindowSize size = m_settings.windowSize();
    resize(size.width, size.height);
    m_monitoring->applySettings(m_settings);
    m_rowColor1 = m_settings.rowColor1();
    m_rowColor2 = m_settings.rowColor2();
    m_rowHeight = m_settings.rowHeight();
    m_list->setRowHeight(m_rowHeight);
    m_list->applyRowColours(m_rowColor1, m_rowColor2);
    std::string alias = m_settings.read(SettingKey::alias());
    if (!alias.empty()) m_nameLabel->setText(q(alias));
    std::string frequency = m_settings.read(SettingKey::frequency());
    if (!frequency.empty()) m_frequency->setText(q(frequency));

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(artwork::appIcon(), this);
        m_tray->setToolTip(kTrayTip);
        m_tray->setContextMenu(m_trayMenu);
        connect(m_tray, &QSystemTrayIcon::activated, this, &MainWindow::onTrayActivated);
        m_tray->show();
    }

    const std::filesystem::path dbPath = m_dir / "tovi.sdb";
    std::error_code ec;
    if (!std::filesystem::exists(dbPath, ec)) {
        m_dialogs.show(
            this,
            QStringLiteral(
                "数据库文件 tovi.sdb 不存在，无法工作！\n\n\n请到 Tovi网赚博客 下载完整版本！\n\n") +
                QString::fromStdString(dbPath.string()),
            QStringLiteral("启动失败"), QMessageBox::Critical);
        m_run->setEnabled(false);
        m_oneClick->setEnabled(false);
        return false;
    }
    if (auto problem = openMainDatabase(m_db, dbPath)) {
        // A file that opened but is not ours says why; one that did not open says only that.
        m_dialogs.show(this, QStringLiteral("数据库打开失败！") +
                                 (m_db.isOpen() ? QStringLiteral("\n\n") + q(*problem) : QString()));
        m_run->setEnabled(false);
    }
    rebuildPlanTree();
    if (m_tree->topLevelItemCount() > 0) m_tree->topLevelItem(0)->setExpanded(true);

    m_hotKey = std::make_unique<HotKey>();
    connect(m_hotKey.get(), &HotKey::activated, this, &MainWindow::toggleVisibleByHotKey);
    QString hotKeyProblem = m_hotKey->install();
    if (!hotKeyProblem.isEmpty()) m_status->appendGbk(g(QStringLiteral("\r\n") + hotKeyProblem));
    layoutMainWindow();
    // Start with the tree focused: focusing the search box would replace the welcome line.
    m_tree->setFocus();
    return true;
}

void MainWindow::rebuildPlanTree() {
    PlanTree tree = refreshPlanTree(m_db, m_settings, m_monitoring->planTable(), m_sink.get());
    m_categoryNames.clear();
    for (const CategoryNode& c : tree.categories) m_categoryNames.push_back(c.name);
    m_tree->rebuild(tree);
}

// ---------------------------------------------------------------- article list

void MainWindow::closeHomePage() {
    m_homeToggle->setChecked(false);
    m_home->hide();
}

void MainWindow::toggleMiniHomePage() {
    if (m_homeToggle->isChecked()) {
        m_home->setHtml(homePageHtml());
        m_home->show();
        m_home->raise();
    } else {
        m_home->hide();
    }
}

void MainWindow::showView(const ArticleView& view) {
    closeHomePage();
    m_browser->show(view);
    m_list->setRows(m_browser->rows());
}

void MainWindow::loadPage(std::int64_t page) {
    closeHomePage();
    m_browser->load(page);
    m_list->setRows(m_browser->rows());
}

void MainWindow::showAllArticles() {
    showView(ArticleView::all());
    m_status->replaceGbk(gbk("已刷新列表"));
}

void MainWindow::showFavourites() { showView(ArticleView::favourites()); }

void MainWindow::showPlanArticles(int planId) { showView(ArticleView::plan(planId)); }

void MainWindow::searchArticles() {
    QString text = m_search->text();
    showView(ArticleView::search(g(text)));
}

void MainWindow::refreshArticleList() {
    closeHomePage();
    m_status->appendGbk(gbk("\r\n迷你首页已关闭，可点左上角开关重新打开！"));
    showView(ArticleView::all());
}

void MainWindow::nextPage() {
    closeHomePage();
    std::string message = m_browser->nextPage();
    m_list->setRows(m_browser->rows());
    m_status->replaceGbk(message);
}

void MainWindow::previousPage() {
    const std::int64_t before = m_browser->currentPage();
    std::string message = m_browser->previousPage();
    m_status->replaceGbk(message);
    if (m_browser->currentPage() != before) {
        closeHomePage();
        m_list->setRows(m_browser->rows());
    }
}

void MainWindow::toggleSelectedFavourite() {
    ArticleRow row = m_list->selectedArticle();
    if (row.empty()) return;
    toggleFavourite(m_monitoring->sql(), row);
}

void MainWindow::openSelectedArticle() {
    ArticleRow row = m_list->selectedArticle();
    if (row.empty()) return;
    openLink(row[kInfoUrl]);
}

void MainWindow::openLink(const std::string& url) {
    if (!isOpenableLink(url)) {
        m_status->appendGbk(refusedLinkLine(url));
        return;
    }
    QDesktopServices::openUrl(QUrl(q(url)));
}

void MainWindow::showSelectedDetails() {
    ArticleRow row = m_list->selectedArticle();
    if (auto line = articleDetailsLine(row)) m_status->appendGbk(*line);
}

// ---------------------------------------------------------------- plan tree

bool MainWindow::monitoringShown() const { return m_run->text() != QString::fromUtf8(kIdleCaption); }

void MainWindow::refreshIfIdle() {
    if (monitoringShown()) {
        m_dialogs.show(this, QStringLiteral("请先停止进行中的任务！"));
        return;
    }
    rebuildPlanTree();
}

void MainWindow::openSelectedPlanPage() {
    int id = m_tree->selectedPlanId();
    if (id < 1) return;
    auto row = m_monitoring->planTable().row(id);
    if (!row) return;
    openLink((*row)[kRuleUrl]);
}

// ---------------------------------------------------------------- monitoring

void MainWindow::toggleMonitoring() {
    auto seconds = checkFrequency(g(m_frequency->text()));
    if (!seconds) {
        m_dialogs.show(this, QStringLiteral("监控频率不能低于 10 秒"));
        m_frequency->setText(QStringLiteral("10"));
        return;
    }
    if (monitoringShown()) {
        stopMonitoring();
        return;
    }
    closeHomePage();
    m_run->setText(QString::fromUtf8(kRunningCaption));
    refreshArticleList();
    if (m_articlePause) m_monitoring->extractor().setArticlePause(*m_articlePause);
    m_monitoring->engine().startPeriodic(m_tree->queue(RunMode::RunTicked),
                                         m_pauseOverride ? *m_pauseOverride : cyclePause(*seconds));
}

void MainWindow::stopMonitoring() {
    m_monitoring->engine().requestStopPeriodic();
    m_run->setText(QString::fromUtf8(kIdleCaption));
}

void MainWindow::oneClickExtract() {
    RunMode mode = monitoringShown() ? RunMode::RunUnticked : RunMode::RunAll;
    m_monitoring->engine().startOneShot(m_tree->queue(mode), mode);
}

void MainWindow::queueEmpty(RunMode mode) {
    onGuiThread(this, [this, mode] {
        if (mode == RunMode::RunTicked && !m_monitoring->engine().periodicRunning())
            m_run->setText(QString::fromUtf8(kIdleCaption));
        m_dialogs.show(this, QStringLiteral("执行队列为空！"), QString(), QMessageBox::NoIcon,
                       /*modal=*/false);
    });
}

void MainWindow::workerFinished(RunMode) {}

void MainWindow::shutdownMonitoring() {
    if (!m_monitoring) return;
    m_monitoring->engine().requestStopAll();
    // Workers end at their next check (a fetch is aborted within 100 ms); the wait is bounded.
    m_monitoring->engine().waitAll(std::chrono::milliseconds(2000));
}

// ---------------------------------------------------------------- alerts

void MainWindow::playSound() {
    onGuiThread(this, [this] {
        if (!m_sound) {
            m_sound = new QSoundEffect(this);
            m_sound->setSource(QUrl(QStringLiteral("qrc:/tovidesk/alert.wav")));
        }
        m_sound->play();  // no device: Qt skips it quietly
    });
}

void MainWindow::showAlertIcon() {
    onGuiThread(this, [this] {
        m_trayShowsAlert = true;
        if (m_tray) {
            m_tray->setIcon(artwork::alertIcon());
            m_tray->setToolTip(kAlertTip);
        } else {
            QApplication::alert(this);  // no tray: the taskbar entry asks for attention
        }
    });
}

void MainWindow::showNormalIcon() {
    onGuiThread(this, [this] {
        m_trayShowsAlert = false;
        if (m_tray) {
            m_tray->setIcon(artwork::appIcon());
            m_tray->setToolTip(kTrayTip);
        }
    });
}

void MainWindow::acknowledgeAlert() {
    if (m_monitoring->alerts().acknowledgeAlert()) refreshArticleList();
}

// ---------------------------------------------------------------- window and tray

void MainWindow::restoreToFront() {
    show();
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | Qt::WindowActive);
    raise();
    activateWindow();
}

void MainWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Context) return;  // the menu opens by itself
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
    restoreToFront();
    acknowledgeAlert();
}

void MainWindow::toggleVisibleByHotKey() {
    if (isVisible() && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        minimiseWindow();
    else
        restoreToFront();
}

void MainWindow::toggleMaximise() {
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWindow::minimiseWindow() {
    // Without a tray there is no way back from a hidden window: minimise normally then.
    if (m_tray && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::saveWindowSettings() {
    // The restored size, also while maximised or minimised.
    QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    if (!normal.isValid()) normal = geometry();
    if (tovi::saveWindowSettings(m_settings, normal.width(), normal.height(), g(m_frequency->text())))
        m_dialogs.show(this, QStringLiteral("本设置将在软件下次启动时生效！"), QStringLiteral("　保存成功！"),
                       QMessageBox::Information);
    else
        m_dialogs.show(this, QStringLiteral("保存失败，请重试！"));
}

void MainWindow::updateTrayMenuChecks() {
    m_soundAction->setChecked(Settings::isOn(m_monitoring->alerts().soundOnNew()));
    m_iconAction->setChecked(Settings::isOn(m_monitoring->alerts().iconOnNew()));
}

void MainWindow::toggleSoundSwitch() {
    m_monitoring->alerts().setSoundOnNew(toggleSoundAlert(m_settings, m_monitoring->alerts().soundOnNew()));
    updateTrayMenuChecks();
}

void MainWindow::toggleIconSwitch() {
    m_monitoring->alerts().setIconOnNew(toggleIconAlert(m_settings, m_monitoring->alerts().iconOnNew()));
    updateTrayMenuChecks();
}

void MainWindow::openOptions(int page) { emit optionsRequested(page); }

void MainWindow::showAbout() {
    m_dialogs.show(this, QStringLiteral("作者：更多实用小软件 >> Tovi的网赚博客"),
                   QStringLiteral("关于 Tovidesk"), QMessageBox::Information);
}

void MainWindow::exitProgram() {
    m_closing = true;
    close();
}

// ---------------------------------------------------------------- events

void MainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutMainWindow();
}

void MainWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && m_monitoring->alerts().alertPending())
        acknowledgeAlert();
    if (e->type() == QEvent::WindowStateChange && isMinimized() && m_tray &&
        QSystemTrayIcon::isSystemTrayAvailable())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // Closing ends monitoring at once: the caption resets, workers stop at their next check,
    // and the database closes only after they have.
    m_run->setText(QString::fromUtf8(kIdleCaption));
    shutdownMonitoring();
    if (m_tray) m_tray->hide();
    m_db.close();
    e->accept();
    QApplication::quit();
}

void MainWindow::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    QPainter p(this);
    p.setPen(QColor(0x1F, 0x5F, 0xA8));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_titleBar) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            toggleMaximise();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (windowHandle()) windowHandle()->startSystemMove();
            return true;
        }
    } else if (watched == m_grip) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (windowHandle()) windowHandle()->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
            return true;
        }
    } else if (watched == m_search) {
        if (event->type() == QEvent::FocusIn) {
            m_status->replaceGbk(gbk("输入关键词，按 Enter键 回车，将显示历史文章中的相关文章，双击可清空"));
            if (m_search->text() == kSearchHint) m_search->clear();
        } else if (event->type() == QEvent::FocusOut) {
            if (m_search->text().isEmpty()) m_search->setText(kSearchHint);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            m_search->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovi::gui
