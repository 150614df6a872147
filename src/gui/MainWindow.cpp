#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "core/monitor/Watching.h"
#include "core/settings/WindowSettings.h"
#include "core/store/AppState.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"
#include "gui/AppStartup.h"
#include "gui/ArticlePane.h"
#include "gui/Artwork.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/HomePage.h"
#include "gui/HotKey.h"
#include "gui/KeyboardUse.h"
#include "gui/MainLayout.h"
#include "gui/MonitorBridge.h"
#include "gui/PaneSplitter.h"
#include "gui/PlanPane.h"
#include "gui/RunPanel.h"
#include "gui/ScreenFit.h"
#include "gui/StatusBox.h"
#include "gui/TitleBar.h"
#include "gui/TrayController.h"
#include "gui/WindowDrag.h"

// The alert sound is built into the GUI library; a static library needs its resources named.
static void initGuiResources() { Q_INIT_RESOURCE(resources); }

namespace tovi::gui {
namespace {

constexpr int kWindowBusyTimeoutMs = 2000;

const char* const kStyle =
    "#MainWindow { background: #EEF2F6; }"
    "#标题栏 { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1F5FA8, stop:1 #2D7DD2); }"
    "#软件名标签 { color: white; font-size: 15px; font-weight: bold; background: transparent; }"
    "#图片框1 { background: white; border-radius: 13px; }"
    "#搜索框 { border: none; background: transparent; color: #33414E; }"
    "QToolButton[chrome=\"true\"] { border: none; border-radius: 4px; background: transparent; }"
    "QToolButton[chrome=\"true\"]:hover { background: rgba(255,255,255,40); }"
    "QToolButton#关闭按钮:hover { background: #E5484D; }"
    "QPushButton[view=\"true\"] { background: #FFFFFF; border: 1px solid #C9D3DE; border-radius: 3px;"
    " color: #1F5FA8; }"
    "QPushButton[view=\"true\"]:hover { background: #E3EEFA; }"
    "QToolButton#迷你首页 { background: #2D7DD2; border: none; border-radius: 3px; }"
    "QToolButton#迷你首页:checked { background: #1F5FA8; }"
    "QPushButton#运行, QPushButton#一键提取 { background: #2D7DD2; color: white; border: none;"
    " border-radius: 3px; }"
    "QPushButton#运行:hover, QPushButton#一键提取:hover { background: #3B8BE0; }"
    // Named buttons outrank a bare :disabled; disabled ones must still look disabled.
    "QPushButton:disabled, QPushButton#运行:disabled, QPushButton#一键提取:disabled,"
    " QPushButton[view=\"true\"]:disabled { background: #B8C2CC; color: #EEF2F6; border: none; }"
    "QTreeWidget { background: white; border: 1px solid #D5DCE4; }"
    "#左一框 { background: transparent; }"
    "QLineEdit#频率框 { border: 1px solid #C9D3DE; border-radius: 2px; background: white; }"
    "QPlainTextEdit { background: #F8FAFC; color: #33414E; border-top: 1px solid #D5DCE4; }"
    "QTextBrowser#网页框 { background: white; border: 1px solid #D5DCE4; }"
    // Every control shows where the keyboard is (the flat designs above draw no focus of their own).
    "QToolButton[chrome=\"true\"]:focus { border: 2px solid #FFD37A; }"
    "QPushButton[view=\"true\"]:focus, QToolButton#迷你首页:focus, QPushButton#运行:focus,"
    " QPushButton#一键提取:focus { border: 2px solid #F5A623; }"
    "QLineEdit#频率框:focus, QTreeWidget:focus, QTextBrowser#网页框:focus { border: 2px solid #F5A623; }"
    "QPlainTextEdit:focus { border: 2px solid #F5A623; }"
    "#搜索框:focus { background: #FFF4DC; }";

QPushButton* viewButton(QWidget* window, const char* name, const QString& caption, const QString& tip,
                        const QRect& place) {
    auto* b = new QPushButton(caption, window);
    b->setObjectName(QString::fromUtf8(name));
    b->setProperty("view", true);
    b->setToolTip(tip);
    b->setGeometry(place);
    return b;
}

}  // namespace

MainWindow::MainWindow(std::filesystem::path programDir, Dialogs& dialogs, MonitorTiming timing)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_dir(std::move(programDir)),
      m_dialogs(dialogs),
      m_timing(std::move(timing)),
      m_settings(m_dir / "tovimo.ini") {
    initGuiResources();
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(artwork::appIcon());
    setMinimumSize(Settings::kMinWidth, Settings::kMinHeight);
    setStyleSheet(QString::fromUtf8(kStyle));
    buildComponents();
    letTabMoveOn(this);
    orderTabs(this, {QStringLiteral("搜索框"), QStringLiteral("栏目框"), QStringLiteral("频率框"),
                     QStringLiteral("运行"), QStringLiteral("一键提取"), QStringLiteral("文章列表框"),
                     QStringLiteral("收藏按钮"), QStringLiteral("全部文章按钮"), QStringLiteral("迷你首页"),
                     QStringLiteral("设置"), QStringLiteral("最小化"), QStringLiteral("关闭按钮"),
                     QStringLiteral("状态框"), QStringLiteral("网页框")});
    coverList(m_home->covering());
    nameControls();
}

MainWindow::~MainWindow() {
    if (m_bridge) m_bridge->shutdown();
}

void MainWindow::buildComponents() {
    m_titleBar = new TitleBar(this);
    m_status = new StatusBox(this);
    m_status->appendGbk(gbk("欢迎使用 Tovidesk：勾选方案、填好频率，点“监控勾选”开始监控新文章。"));
    m_tray = new TrayController(this, m_settings);
    m_bridge = new MonitorBridge(this);
    m_monitoring =
        std::make_unique<Monitoring>(m_workerDb, m_status->sink(), *m_tray, m_bridge, m_timing.fetchLimits);
    m_sql = std::make_unique<LoggedSql>(m_db, m_status->sink());
    if (m_timing.articlePause) m_monitoring->planRunner().setArticlePause(*m_timing.articlePause);
    m_tray->setAlerts(&m_monitoring->alerts());
    m_tray->setPushSwitch([this] { return pushNewArticlesOn(m_db); },
                          [this](bool on) {
                              if (Result<> saved = setPushNewArticles(m_db, on); !saved)
                                  m_status->appendGbk(gbk("推送开关保存失败：") + saved.error());
                          });
    m_bridge->attach(&m_monitoring->engine());

    auto* favourites = viewButton(this, "收藏按钮", QStringLiteral("收藏的文章"),
                                  QStringLiteral("我收藏的文章"), MainLayout::kFavouritesButton);
    auto* all = viewButton(this, "全部文章按钮", QStringLiteral("重载文章列表"),
                           QStringLiteral("显示所有的文章"), MainLayout::kAllButton);
    m_plans =
        new PlanPane(this, {m_db, m_settings, m_monitoring->planTable(), *m_status, m_dialogs,
                            [this] { return m_bridge->state() == RunState::Monitoring; },
                            [this](std::vector<int> ticked) { m_bridge->updateQueue(std::move(ticked)); }});
    m_runPanel = new RunPanel(
        this, *m_bridge, m_dialogs, [this](RunMode mode) { return m_plans->queue(mode); },
        m_timing.cyclePause);
    m_articles = new ArticlePane(this, m_db, *m_sql, *m_status);
    m_home = new HomePage(this);
    m_splitter = new PaneSplitter(this);
    connect(m_splitter, &PaneSplitter::dragged, this, [this](int x) {
        m_paneWidth = MainLayout::clampPane(x - 1, width());
        layoutWindow();
    });
    connect(m_splitter, &PaneSplitter::released, this, [this] {
        if (m_db.isOpen()) (void)setAppState(m_db, "tree_width", std::to_string(m_paneWidth));
    });
    m_grip = new QLabel(this);
    m_grip->setObjectName(QStringLiteral("拖动图"));
    m_grip->setPixmap(artwork::gripPixmap());
    m_grip->setCursor(Qt::SizeFDiagCursor);
    m_drag = new WindowDrag(this, m_grip);

    connect(favourites, &QPushButton::clicked, m_articles, &ArticlePane::showFavourites);
    connect(all, &QPushButton::clicked, m_articles, &ArticlePane::showAll);
    connect(m_articles, &ArticlePane::listLoaded, m_home, &HomePage::closePage);
    connect(m_home, &HomePage::coveringChanged, this, &MainWindow::coverList);
    connect(m_plans, &PlanPane::planSelected, m_articles, &ArticlePane::showPlan);
    connect(m_plans, &PlanPane::optionsRequested, this, &MainWindow::optionsRequested);
    connect(m_runPanel, &RunPanel::monitoringStarting, m_articles, &ArticlePane::refresh);
    // What the user left on is on again after a restart; a stop on closing is no such choice.
    connect(m_runPanel, &RunPanel::monitoringToggledByUser, this, [this](std::optional<std::int64_t> cycle) {
        if (Result<> kept = rememberMonitoring(m_db, cycle); !kept)
            m_status->appendGbk(gbk("\r\n监控状态没能保存到 tovi.sdb：") + kept.error());
    });
    // A notice replaces the last one: it counts everything the user has not looked at yet.
    connect(m_bridge, &MonitorBridge::newArticles, this, [this](const PassSummary& summary) {
        m_unseen = unseenWith(m_unseen, summary);
        PassNotification n = passNotification(m_unseen);
        m_tray->notify(q(n.title), q(n.body));
    });
    connect(m_tray, &TrayController::notificationDismissed, this, [this] { m_unseen = {}; });
    connect(m_bridge, &MonitorBridge::planRan, m_plans, &PlanPane::showHealth);
    connect(m_bridge, &MonitorBridge::emptyQueueReported, this, [this] {
        m_dialogs.show(this, QStringLiteral("执行队列为空！"), QString(), QMessageBox::NoIcon,
                       /*modal=*/false);
    });

    connect(m_titleBar, &TitleBar::searchRequested, m_articles, &ArticlePane::search);
    connect(m_titleBar, &TitleBar::searchFocused, this, [this] {
        m_status->replaceGbk(gbk("输入关键词，按 Enter键 回车，将显示历史文章中的相关文章，双击可清空"));
    });
    connect(m_titleBar, &TitleBar::minimiseRequested, this, &MainWindow::minimiseWindow);
    connect(m_titleBar, &TitleBar::closeRequested, this, &QWidget::close);
    connect(m_titleBar, &TitleBar::maximiseToggled, this, &MainWindow::toggleMaximise);
    connect(m_titleBar, &TitleBar::menuRequested, this, [this] { m_tray->popupMenu(QCursor::pos()); });

    connect(m_tray, &TrayController::activated, this, [this] {
        restoreToFront();
        acknowledgeAlert();
    });
    connect(m_tray, &TrayController::notificationClicked, this, [this] {
        // The new articles are what the user came for: the list shows them, alert or not.
        restoreToFront();
        m_unseen = {};
        m_monitoring->alerts().acknowledgeAlert();
        m_articles->refresh();
    });
    connect(m_tray, &TrayController::optionsRequested, this, [this] { emit optionsRequested(2); });
    connect(m_tray, &TrayController::saveWindowSettingsRequested, this, &MainWindow::saveWindowSettings);
    connect(m_tray, &TrayController::aboutRequested, this, [this] {
        m_dialogs.show(this, QStringLiteral("作者：更多实用小软件 >> Tovi的网赚博客"),
                       QStringLiteral("关于 Tovidesk"), QMessageBox::Information);
    });
    connect(m_tray, &TrayController::exitRequested, this, &QWidget::close);
}

// ---------------------------------------------------------------- start-up steps

void MainWindow::applySettings() {
    WindowSize size = m_settings.windowSize();
    resize(size.width, size.height);
    m_monitoring->applySettings(m_settings);
    m_articles->applyListSettings(m_settings.rowHeight(), m_settings.rowColor1(), m_settings.rowColor2());
    if (std::string alias = m_settings.read(SettingKey::alias()); !alias.empty())
        m_titleBar->setProductName(q(alias));
    if (std::string frequency = m_settings.read(SettingKey::frequency()); !frequency.empty())
        m_runPanel->setFrequencyText(q(frequency));
}

void MainWindow::installTray() {
    m_tray->readNotifySwitch();
    m_tray->install();
}

bool MainWindow::openDatabase() {
    const std::filesystem::path dbPath = m_dir / "tovi.sdb";
    std::error_code ec;
    if (!std::filesystem::exists(dbPath, ec)) {
        m_runPanel->setRunEnabled(false);
        m_runPanel->setOneClickEnabled(false);
        m_dialogs.show(
            this,
            QStringLiteral(
                "数据库文件 tovi.sdb 不存在，无法工作！\n\n\n请到 Tovi网赚博客 下载完整版本！\n\n") +
                QString::fromStdString(dbPath.string()),
            QStringLiteral("启动失败"), QMessageBox::Critical);
        return false;
    }
    std::vector<std::string> repaired;
    Result<> opened = openMainDatabase(m_db, dbPath, &repaired);
    // The workers' connection, once the file is known to be ours.
    if (opened && !m_workerDb.open(dbPath)) opened = Error{m_workerDb.lastError()};
    if (!opened) {
        // A file that opened but is not ours says why; one that did not open says only that.
        // Both run buttons name the file and why, instead of finding nothing to run.
        const QString why = QStringLiteral("数据库文件 tovi.sdb 无法使用，不能提取文章：") +
                            (m_db.isOpen() ? q(opened.error()) : q(m_db.lastError())) +
                            QStringLiteral("\n\n") + QString::fromStdString(dbPath.string());
        m_runPanel->setRunEnabled(false);
        m_runPanel->setOneClickRefusal(why);
        m_dialogs.show(this, QStringLiteral("数据库打开失败！") +
                                 (m_db.isOpen() ? QStringLiteral("\n\n") + q(opened.error()) : QString()));
    }
    for (const std::string& note : repaired) m_status->appendGbk("\r\n" + note);
    // A window that waits says so within a moment instead of hanging on another program's lock.
    m_db.setBusyTimeout(std::chrono::milliseconds(kWindowBusyTimeoutMs));
    return true;
}

void MainWindow::plansChanged() { m_plans->refresh(); }

void MainWindow::nameControls() {
    // What a screen reader says for each control; icon-only buttons have no text of their own.
    const std::pair<const char*, const char*> names[] = {
        {"搜索框", "搜索历史文章"},   {"栏目框", "方案树：勾选的方案参加监控"},
        {"频率框", "监控频率（秒）"}, {"文章列表框", "文章列表"},
        {"设置", "主菜单"},           {"最小化", "最小化到托盘"},
        {"关闭按钮", "关闭"},         {"迷你首页", "迷你首页"},
        {"状态框", "运行记录"},       {"网页框", "迷你首页内容"},
    };
    for (const auto& [object, name] : names)
        if (auto* w = findChild<QWidget*>(QString::fromUtf8(object)))
            w->setAccessibleName(QString::fromUtf8(name));
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->toolTip().isEmpty() && w->accessibleDescription().isEmpty())
            w->setAccessibleDescription(w->toolTip());
}

void MainWindow::coverList(bool covering) {
    // A list the home page covers is out of the Tab chain: focus never goes where it cannot be seen.
    if (auto* list = findChild<QWidget*>(QStringLiteral("文章列表框")))
        list->setFocusPolicy(covering ? Qt::NoFocus : Qt::StrongFocus);
}

void MainWindow::buildPlanTree() {
    m_plans->refresh();
    m_plans->expandFirstCategory();
    // The tree has the focus at start: focusing the search box would replace the welcome line.
    m_plans->focusTree();
}

void MainWindow::placeWindow() {
    // Where the user last saved it (size and place), but never off the screens there are now
    // nor larger than the one it lands on.
    QRect wanted(pos(), size());
    if (m_db.isOpen())
        if (const std::optional<std::string> pane = appState(m_db, "tree_width"))
            m_paneWidth =
                std::max(MainLayout::kDefaultPane, std::min(static_cast<int>(textToInt(*pane)), 4000));
    layoutWindow();
    if (m_db.isOpen())
        if (const std::optional<std::string> at = appState(m_db, "window_position")) {
            const QStringList xy = q(*at).split(QLatin1Char(','));
            bool xOk = false, yOk = false;
            const int x = xy.value(0).toInt(&xOk), y = xy.value(1).toInt(&yOk);
            if (xy.size() == 2 && xOk && yOk) wanted.moveTopLeft(QPoint(x, y));
        }
    QList<QRect> areas;
    for (QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    const QRect fitted = fitToScreens(wanted, areas);
    resize(fitted.size());
    move(fitted.topLeft());
}

void MainWindow::resumeMonitoring() {
    if (!m_db.isOpen()) return;
    const std::optional<std::int64_t> cycle = monitoringLeftOn(m_db);
    if (!cycle) return;
    m_status->appendGbk(gbk("\r\n上次关闭时正在监控，现在继续监控勾选的方案（每 ") + std::to_string(*cycle) +
                        gbk(" 秒一轮）。"));
    m_runPanel->setFrequencyText(QString::number(*cycle));
    m_runPanel->toggleMonitoring();
}

void MainWindow::installHotKey() {
    m_hotKey = std::make_unique<HotKey>(this);
    connect(m_hotKey.get(), &HotKey::activated, this, &MainWindow::toggleByHotKey);
    if (Result<> installed = m_hotKey->install(); !installed) m_status->appendGbk("\r\n" + installed.error());
}

OptionsContext MainWindow::optionsContext() {
    return {m_settings, m_dir / "tovi.sdb", m_plans->categoryNames(),
            *m_sql,     m_dialogs,          [this] { plansChanged(); }};
}

// ---------------------------------------------------------------- window behaviour

void MainWindow::layoutWindow() {
    const MainLayout l = MainLayout::forSize(width(), height(), m_paneWidth);
    m_titleBar->applyLayout(l);
    m_grip->setGeometry(l.grip);
    m_plans->applyLayout(l.planTree);
    m_runPanel->setGeometry(l.leftPanel);
    m_articles->applyLayout(l.rightPanel, l.articleList, l.titleColumnWidth);
    m_home->applyLayout(l.homePage);
    m_status->setGeometry(l.statusBox);
    m_titleBar->lower();
    // The list reaches 5 pixels into the status line; the line stays readable on top.
    m_status->raise();
    m_splitter->setGeometry(l.splitter);
    m_splitter->raise();
    m_grip->raise();
}

void MainWindow::acknowledgeAlert() {
    m_unseen = {};
    if (m_monitoring->alerts().acknowledgeAlert()) m_articles->refresh();
}

void MainWindow::restoreToFront() {
    // Shown again, a frameless window is placed anew (at 0,0 on some desktops, centred by some
    // window managers): it is put back where it was.
    const bool wasHidden = !isVisible();
    const bool placed =
        wasHidden && m_hiddenAt && QGuiApplication::screenAt(*m_hiddenAt + QPoint(width() / 2, 10));
    if (placed) move(*m_hiddenAt);
    show();
    // Some window managers place a window anew once it is mapped: the first such move is undone
    // (see moveEvent), for a moment only, so that the user's own moves are never fought.
    if (placed) {
        m_returnTo = *m_hiddenAt;
        QTimer::singleShot(1000, this, [this] { m_returnTo.reset(); });
    }
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | Qt::WindowActive);
    raise();
    activateWindow();
}

void MainWindow::minimiseWindow() {
    // Without a tray there is no way back from a hidden window: minimise normally then.
    if (m_tray->available())
        hide();
    else
        showMinimized();
}

void MainWindow::toggleMaximise() {
    // Done here rather than asked of a window manager: there may be none to ask.
    if (m_maximisedFrom) {
        setGeometry(*m_maximisedFrom);
        m_maximisedFrom.reset();
    } else if (QScreen* on = screen()) {
        m_maximisedFrom = geometry();
        setGeometry(on->availableGeometry());
    }
}

void MainWindow::toggleByHotKey() {
    if (isVisible() && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        minimiseWindow();
    else
        restoreToFront();
}

void MainWindow::saveWindowSettings() {
    // The restored size, also while maximised or minimised.
    QRect normal = m_maximisedFrom                    ? *m_maximisedFrom
                   : (isMaximized() || isMinimized()) ? normalGeometry()
                                                      : geometry();
    if (!normal.isValid()) normal = geometry();
    // The place goes with the size, kept beside the plans (tovimo.ini stays as the Windows
    // version writes it).
    if (m_db.isOpen())
        if (Result<> kept = setAppState(m_db, "window_position",
                                        std::to_string(normal.x()) + "," + std::to_string(normal.y()));
            !kept)
            m_status->appendGbk(gbk("\r\n窗口位置没能保存：") + kept.error());
    if (tovi::saveWindowSettings(m_settings, normal.width(), normal.height(), g(m_runPanel->frequencyText())))
        m_dialogs.show(this, QStringLiteral("本设置将在软件下次启动时生效！"), QStringLiteral("　保存成功！"),
                       QMessageBox::Information);
    else
        m_dialogs.show(this, QStringLiteral("保存失败，请重试！"));
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutWindow();
}

void MainWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && m_monitoring->alerts().alertPending())
        acknowledgeAlert();
    if (e->type() == QEvent::WindowStateChange && isMinimized() && m_tray->available())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void MainWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (m_returnTo && pos() != *m_returnTo) {
        const QPoint at = *m_returnTo;
        m_returnTo.reset();
        move(at);
    }
}

void MainWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (!isMaximized()) m_hiddenAt = pos();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // Closing stops the watching: asked first, so that a click on × never ends it unseen.
    if (m_bridge->state() == RunState::Monitoring &&
        !m_dialogs.ask(
            this,
            QStringLiteral(
                "正在监控新文章，关闭程序会停止监控。\n确定要关闭吗？（最小化到托盘可以继续监控）"),
            QStringLiteral("关闭 Tovidesk"))) {
        e->ignore();
        return;
    }
    // Closing ends monitoring at once: the caption resets, workers stop at their next check,
    // and the database closes only after they have.
    m_bridge->shutdown();
    m_tray->hide();
    m_workerDb.close();
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

}  // namespace tovi::gui
