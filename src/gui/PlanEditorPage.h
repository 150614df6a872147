#pragma once
// The page "方案操作": the plan editor. A plan can be saved only after a test that found
// matches (规则测试 unlocks 保存 and 数据项); a user's change of the URL or the expression locks
// saving again. Texts the program writes into the boxes never count as changes. 自动识别 fills
// the plan from the list it finds on the URL's page, already tested there, and lists the
// page's other lists in 测试编辑框 (a double click takes one instead).
#include <QRect>
#include <QSize>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/monitor/PlanTestRun.h"
#include "core/suggest/PlanSuggest.h"
#include "gui/BackgroundCall.h"
#include "gui/PlanEditorControls.h"

namespace tovi {
class Database;
}

namespace tovi::gui {

class Dialogs;

class PlanEditorPage : public QWidget {
    Q_OBJECT
public:
    PlanEditorPage(Database& db, Dialogs& dialogs, const std::vector<std::string>& categoryNames,
                   QWidget* parent = nullptr);
    ~PlanEditorPage() override;

    // -1 a new plan, 0 edit the row, 1 a copy of the row (cells of table rule).
    void loadEditor(int mode, const std::vector<std::string>& row);
    // The categories the 分类 list offers, in order (the chosen one stays chosen where it still is).
    void setCategories(const std::vector<std::string>& names);
    // 0 时间倒序, 2 时间正序, 8 比较文章ID.
    void setJudgeMode(int mode);
    void cancelTest();
    // The boxes hold something else than what was last loaded or saved.
    bool hasUnsavedEdits() const;

signals:
    // A plan was saved: the plan list is refilled.
    void planSaved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The test results take what the window gives beyond its design size.
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void growResults();
    void connectControls();
    void lockSaving();
    void toggleTest();
    void startTest();
    void showTestResult(const PlanTestResult& result);
    void toggleSuggest();
    void showSuggestions(const SuggestResult& result);
    void fillSuggestion(std::size_t index);
    void savePlan();
    QString contentSnapshot() const;

    Database& m_db;
    Dialogs& m_dialogs;
    // The test and the search run off the GUI thread; their results come back to it.
    std::unique_ptr<BackgroundCall<PlanTestResult>> m_runner;
    std::unique_ptr<BackgroundCall<SuggestResult>> m_suggester;
    std::vector<PlanSuggestion> m_suggestions;  // listed in 测试编辑框 while it shows them
    std::string m_suggestionNote;               // what was said of the page as a whole
    bool m_jsonText = false;                    // the plan reads a JSON response (kept as loaded or proposed)
    int m_judgeMode = 0;
    // Counts the user's changes of the URL and the expression: a test result that arrives
    // after such a change unlocks nothing.
    int m_edits = 0;
    int m_testedEdits = 0;
    int m_suggestedEdits = 0;

    PlanEditorControls m_ui;
    QSize m_designSize;  // the page's size in the window's design size
    QRect m_gridDesign, m_textDesign;
    QString m_loaded;  // contentSnapshot() as last loaded or saved
};

}  // namespace tovi::gui
