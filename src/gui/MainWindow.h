#pragma once
// The borderless main window: it puts the components together (title bar, plan pane, article
// pane, run panel, status box, tray) and owns the window's own behaviour: layout on resize,
// drag and grip, minimise to the tray, Alt+Q, activation, closing.
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/monitor/Monitoring.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/LoggedSql.h"
#include "gui/MainLayout.h"
#include "gui/OptionsContext.h"

class QLabel;
class QPushButton;

namespace tovi::gui {

class ArticlePane;
class Dialogs;
class HomePage;
class HotKey;
class MonitorBridge;
class PlanPane;
class RunPanel;
class StatusBox;
class TitleBar;
class TrayController;
class PaneSplitter;
class WindowDrag;

// What the window is built with besides its directory: the limits of the monitoring fetch, and for
// quick runs (demos, tests) a shorter pause between cycles and between echoed articles.
struct MonitorTiming {
    FetchLimits fetchLimits;
    std::optional<std::chrono::milliseconds> cyclePause;
    std::optional<std::chrono::milliseconds> articlePause;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Tovidesk v2.13 （老司机必备神器）";

    MainWindow(std::filesystem::path programDir, Dialogs& dialogs, MonitorTiming timing = {});
    ~MainWindow() override;

    // The start-up steps, in the order AppStartup runs them.
    void applySettings();  // size, alert switches, list rows and colours, alias, frequency
    void installTray();
    // False when tovi.sdb is missing (the stop box "启动失败" has been shown).
    bool openDatabase();
    void buildPlanTree();
    // The saved place and size, fitted to the screens there are now.
    void placeWindow();
    // Monitoring on again when the user left it on at the last close.
    void resumeMonitoring();
    void installHotKey();

    // What the options window works with.
    OptionsContext optionsContext();
    // Shown, restored and raised (a second start of the program asked for it).
    void bringToFront() { restoreToFront(); }
    // A plan was saved, removed or (un)ticked in the options window: the tree shows it at once.
    void plansChanged();

signals:
    // 0 "方案列表", 1 "方案操作", 2 and above "高级设置".
    void optionsRequested(int page);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void buildComponents();
    void layoutWindow();
    void acknowledgeAlert();
    void coverList(bool covering);
    void nameControls();
    void restoreToFront();
    void minimiseWindow();
    void toggleMaximise();
    void toggleByHotKey();
    void saveWindowSettings();

    std::filesystem::path m_dir;
    Dialogs& m_dialogs;
    MonitorTiming m_timing;
    Settings m_settings;
    // The window reads and writes on a connection of its own, so it never waits for a worker's
    // lock within the program: like another program's, the workers' writes hold it up only
    // while they commit (the file stays in rollback-journal mode, other programs may share it).
    Database m_db;
    Database m_workerDb;               // the monitoring workers'
    std::unique_ptr<LoggedSql> m_sql;  // the window's statements, echoed in the status box

    TitleBar* m_titleBar = nullptr;
    TrayController* m_tray = nullptr;
    MonitorBridge* m_bridge = nullptr;
    StatusBox* m_status = nullptr;
    PlanPane* m_plans = nullptr;
    ArticlePane* m_articles = nullptr;
    RunPanel* m_runPanel = nullptr;
    HomePage* m_home = nullptr;
    QLabel* m_grip = nullptr;
    PaneSplitter* m_splitter = nullptr;
    int m_paneWidth = MainLayout::kDefaultPane;  // the tree pane, as the user dragged it
    PassSummary m_unseen;                        // new articles announced since the user last looked
    // A press on the window's passive surface (background, panels, labels) moves the window;
    // one on the grip resizes it.
    WindowDrag* m_drag = nullptr;
    std::optional<QPoint> m_hiddenAt;      // where the window was when it was last hidden
    std::optional<QPoint> m_returnTo;      // just shown again: where a window manager's placement is undone
    std::optional<QRect> m_maximisedFrom;  // maximised: the place and size to go back to
    std::unique_ptr<HotKey> m_hotKey;
    std::unique_ptr<Monitoring> m_monitoring;  // destroyed first: its workers use the rest
};

}  // namespace tovi::gui
