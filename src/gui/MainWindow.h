#pragma once
// The borderless main window: title bar, plan tree, article list, status box, tray and menus.
// It turns user actions into core calls and core results into widgets; the rules live in
// the core.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QToolButton>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "core/articles/ArticleList.h"
#include "core/monitor/Monitoring.h"
#include "core/plans/PlanTree.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"

class QSoundEffect;

namespace tovi::gui {

class ArticleListWidget;
class Dialogs;
class GuiStatusSink;
class HotKey;
class PlanTreeWidget;
class StatusBox;

class MainWindow : public QWidget, private AlertSink, private MonitorListener {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Tovidesk v2.13 （老司机必备神器）";
    static constexpr const char* kIdleCaption = "监控勾选";
    static constexpr const char* kRunningCaption = "停止监控";

    MainWindow(std::filesystem::path programDir, Dialogs& dialogs,
               PlanFetcher fetch = PlanExtractor::networkFetcher());
    ~MainWindow() override;

    // Start-up: settings, tray, database, plan tree. False when the program must end
    // (no tovi.sdb: the stop box "启动失败" has been shown).
    bool start();

    // For tests: a short pause between monitoring cycles instead of the frequency's.
    void setCyclePauseOverride(std::chrono::milliseconds pause) { m_pauseOverride = pause; }
    void setArticlePause(std::chrono::milliseconds pause);

    // The widgets, for tests and the options window.
    PlanTreeWidget* planTree() const { return m_tree; }
    ArticleListWidget* articleList() const { return m_list; }
    StatusBox* statusBox() const { return m_status; }
    QLineEdit* frequencyBox() const { return m_frequency; }
    QLineEdit* searchBox() const { return m_search; }
    QPushButton* runButton() const { return m_run; }
    QPushButton* oneClickButton() const { return m_oneClick; }
    QTextBrowser* homePage() const { return m_home; }
    QMenu* trayMenu() const { return m_trayMenu; }
    QMenu* articleMenu() const { return m_articleMenu; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    Monitoring* monitoring() const { return m_monitoring.get(); }
    ArticleBrowser* articles() const { return m_browser.get(); }
    Settings& settings() { return m_settings; }
    // The category names as the last plan-tree build read them.
    const std::vector<std::string>& categoryNames() const { return m_categoryNames; }
    Database& database() { return m_db; }
    bool trayShowsAlert() const { return m_trayShowsAlert; }
    std::uint32_t rowColor1() const { return m_rowColor1; }
    std::uint32_t rowColor2() const { return m_rowColor2; }
    int rowHeight() const { return m_rowHeight; }

public slots:
    // Views and paging of the article list.
    void showAllArticles();
    void showFavourites();
    void showPlanArticles(int planId);
    void searchArticles();
    void nextPage();
    void previousPage();
    void refreshArticleList();
    // Article actions on the selected row.
    void toggleSelectedFavourite();
    void openSelectedArticle();
    void showSelectedDetails();
    // Plan tree.
    void refreshIfIdle();
    void openSelectedPlanPage();
    // Monitoring.
    void toggleMonitoring();
    void oneClickExtract();
    void stopMonitoring();
    // Window and tray.
    void toggleMiniHomePage();
    void closeHomePage();
    void toggleMaximise();
    void minimiseWindow();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void acknowledgeAlert();
    void saveWindowSettings();
    void toggleSoundSwitch();
    void toggleIconSwitch();
    void openOptions(int page = 2);
    void showAbout();
    void exitProgram();
    void toggleVisibleByHotKey();
    void updateTrayMenuChecks();

signals:
    // The options window asks for this (it lives in its own issue); page 0 plans, 1 editor, 2 advanced.
    void optionsRequested(int page);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // AlertSink: called on worker threads; carried out on the GUI thread.
    void playSound() override;
    void showAlertIcon() override;
    void showNormalIcon() override;
    // MonitorListener: called on worker threads.
    void queueEmpty(RunMode mode) override;
    void workerFinished(RunMode mode) override;

    void buildWidgets();
    void buildMenus();
    void layoutMainWindow();
    void loadPage(std::int64_t page);
    void showView(const ArticleView& view);
    void restoreToFront();
    // Hands a web link to the browser; anything else is refused with a status line.
    void openLink(const std::string& url);
    void shutdownMonitoring();
    void rebuildPlanTree();
    bool monitoringShown() const;

    std::filesystem::path m_dir;
    Dialogs& m_dialogs;
    PlanFetcher m_fetch;
    Settings m_settings;
    Database m_db;
    std::unique_ptr<GuiStatusSink> m_sink;
    std::unique_ptr<Monitoring> m_monitoring;
    std::unique_ptr<ArticleBrowser> m_browser;
    std::optional<std::chrono::milliseconds> m_pauseOverride;
    std::optional<std::chrono::milliseconds> m_articlePause;
    std::uint32_t m_rowColor1 = 0, m_rowColor2 = 0;
    int m_rowHeight = 30;
    bool m_trayShowsAlert = false;
    std::vector<std::string> m_categoryNames;
    bool m_closing = false;
    QRect m_normalGeometry;

    // Controls, named after their places in the window.
    QWidget* m_titleBar = nullptr;
    QLabel* m_titleIcon = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_searchFrame = nullptr;
    QLineEdit* m_search = nullptr;
    QToolButton* m_minimise = nullptr;
    QToolButton* m_close = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QPushButton* m_favouritesButton = nullptr;
    QPushButton* m_allButton = nullptr;
    QToolButton* m_homeToggle = nullptr;
    PlanTreeWidget* m_tree = nullptr;
    QWidget* m_leftPanel = nullptr;
    QLineEdit* m_frequency = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_oneClick = nullptr;
    QWidget* m_rightPanel = nullptr;
    ArticleListWidget* m_list = nullptr;
    QTextBrowser* m_home = nullptr;
    StatusBox* m_status = nullptr;
    QLabel* m_grip = nullptr;
    QMenu* m_trayMenu = nullptr;
    QMenu* m_treeMenu = nullptr;
    QMenu* m_articleMenu = nullptr;
    QAction* m_soundAction = nullptr;
    QAction* m_iconAction = nullptr;
    QAction* m_favouriteAction = nullptr;
    QAction* m_openPlanAction = nullptr;
    QAction* m_managePlansAction = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QSoundEffect* m_sound = nullptr;
    std::unique_ptr<HotKey> m_hotKey;
};

}  // namespace tovi::gui
