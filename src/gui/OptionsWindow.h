#pragma once
// The options window ("选项"): four pages (plan list, plan editor, advanced settings, pushes) over its
// own database connection. Changes reach the main window's tree after "刷新方案列表".
#include <QDialog>

#include "core/store/Database.h"
#include "gui/OptionsContext.h"

class QTabWidget;

namespace tovi::gui {

class AdvancedPage;
class MainWindow;
class PlanEditorPage;
class PlanListPage;

class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    enum Page { PlanList = 0, Editor = 1, Advanced = 2, Pushes = 3 };

    // The page index is clamped to the pages there are (the tray's "选项设置" asks for 3).
    OptionsWindow(const OptionsContext& context, int page, QWidget* parent = nullptr);
    ~OptionsWindow() override;
    // Escape and the close button: with unsaved edits in the editor, only after asking.
    void reject() override;

signals:
    // A plan was saved, removed or (un)ticked here.
    void plansChanged();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void openEditor(int mode);

    Database m_db;  // the window's own connection
    QTabWidget* m_tabs = nullptr;
    PlanListPage* m_list = nullptr;
    PlanEditorPage* m_editor = nullptr;
    Dialogs* m_dialogs = nullptr;
    AdvancedPage* m_advanced = nullptr;
};

// Opens the options window (modal) when the main window's menus ask for it.
class OptionsController : public QObject {
    Q_OBJECT
public:
    explicit OptionsController(MainWindow& main);

private:
    void open(int page);
    MainWindow& m_main;
};

}  // namespace tovi::gui
