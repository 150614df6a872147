#pragma once
// The options window ("选项"): the plan list, the plan editor with its test run, the category
// editor and the SQL console. It has its own database connection; the main window's tree
// sees changes after "刷新方案列表".
#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

#include "core/monitor/PlanTestRun.h"
#include "core/store/Database.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;

namespace tovi::gui {

class Dialogs;
class MainWindow;

class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    enum Page { PlanListPage = 0, EditorPage = 1, AdvancedPage = 2 };

    OptionsWindow(MainWindow& main, Dialogs& dialogs, int page);
    ~OptionsWindow() override;

    // Editor operations: -1 new plan, 0 edit the current row, 1 copy it.
    void loadEditor(int mode);
    void setJudgeMode(int mode);
    void fillPlanList();
    // Starts the plan test; the window stays usable and the test can be cancelled.
    void startTest();
    void cancelTest();
    bool testRunning() const { return m_testThread != nullptr; }
    void savePlan();
    void deleteCurrentPlan();
    void toggleCurrentDefaultFlag();
    void exportSelectedPlans();
    void saveCategories();
    void runConsoleSql();

    // Widgets, for tests.
    QTabWidget* tabs() const { return m_tabs; }
    QTableWidget* planList() const { return m_planList; }
    QLineEdit* idBox() const { return m_id; }
    QLineEdit* nameBox() const { return m_name; }
    QComboBox* categoryBox() const { return m_category; }
    QCheckBox* gbkBox() const { return m_gbk; }
    QLineEdit* uaBox() const { return m_ua; }
    QLineEdit* urlBox() const { return m_url; }
    QPlainTextEdit* cookieBox() const { return m_cookie; }
    QLineEdit* beforeBox() const { return m_before; }
    QLineEdit* afterBox() const { return m_after; }
    QComboBox* regexBox() const { return m_regex; }
    QRadioButton* modeButton(int index) const { return m_modes[index]; }
    QLineEdit* tindexBox() const { return m_tindex; }
    QLineEdit* uindexBox() const { return m_uindex; }
    QLineEdit* oindexBox() const { return m_oindex; }
    QLineEdit* templateBox() const { return m_template; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* testButton() const { return m_test; }
    QGroupBox* dataItems() const { return m_dataItems; }
    QLabel* hintLabel() const { return m_hint; }
    QTableWidget* testList() const { return m_testList; }
    QPlainTextEdit* testText() const { return m_testText; }
    QPlainTextEdit* categoryEditor() const { return m_categories; }
    QPlainTextEdit* sqlBox() const { return m_sql; }
    QTableWidget* sqlRows() const { return m_sqlRows; }
    QLabel* sqlResult() const { return m_sqlResult; }
    QMenu* planMenu() const { return m_planMenu; }
    int judgeMode() const { return m_judgeMode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildPlanListPage(QWidget* page);
    void buildEditorPage(QWidget* page);
    void buildAdvancedPage(QWidget* page);
    void showTestResult(const PlanTestResult& result);
    void setClipboard(const QString& text, bool* ok);
    std::vector<std::string> currentRow() const;
    void showPlanMenu(const QPoint& pos);

    MainWindow& m_main;
    Dialogs& m_dialogs;
    Database m_db;  // the window's own connection
    std::vector<std::vector<std::string>> m_rows;
    int m_judgeMode = 0;

    QTabWidget* m_tabs = nullptr;
    QTableWidget* m_planList = nullptr;
    QMenu* m_planMenu = nullptr;
    QAction* m_editAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_defaultAction = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_category = nullptr;
    QCheckBox* m_gbk = nullptr;
    QLineEdit* m_ua = nullptr;
    QLineEdit* m_url = nullptr;
    QPlainTextEdit* m_cookie = nullptr;
    QLineEdit* m_before = nullptr;
    QLineEdit* m_after = nullptr;
    QComboBox* m_regex = nullptr;
    QGroupBox* m_dataItems = nullptr;
    QRadioButton* m_modes[3] = {};
    QLineEdit* m_tindex = nullptr;
    QLineEdit* m_uindex = nullptr;
    QLineEdit* m_oindex = nullptr;
    QLineEdit* m_template = nullptr;
    QLineEdit* m_id = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_test = nullptr;
    QLabel* m_hint = nullptr;
    QTableWidget* m_testList = nullptr;
    QPlainTextEdit* m_testText = nullptr;
    QPlainTextEdit* m_categories = nullptr;
    QPlainTextEdit* m_sql = nullptr;
    QLabel* m_sqlResult = nullptr;
    QTableWidget* m_sqlRows = nullptr;

    std::unique_ptr<std::thread> m_testThread;
    std::shared_ptr<std::atomic<bool>> m_testCancel;
};

// Opens the options window for the main window's menus.
class OptionsController : public QObject {
    Q_OBJECT
public:
    OptionsController(MainWindow& main, Dialogs& dialogs);
    void open(int page);

private:
    MainWindow& m_main;
    Dialogs& m_dialogs;
};

}  // namespace tovi::gui
