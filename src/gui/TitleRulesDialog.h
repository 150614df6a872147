#pragma once
// A plan's own title rules, from the editor: either the rules for every plan apply, or the
// plan carries rules of its own.
#include <QDialog>

namespace tovi {
class Database;
}

class QCheckBox;

namespace tovi::gui {

class Dialogs;
class TitleRulesBox;

class TitleRulesDialog : public QDialog {
    Q_OBJECT
public:
    TitleRulesDialog(Database& db, Dialogs& dialogs, int planId, QWidget* parent = nullptr);

private:
    void save();

    Database& m_db;
    Dialogs& m_dialogs;
    int m_planId;
    QCheckBox* m_useGlobal = nullptr;
    TitleRulesBox* m_rules = nullptr;
};

}  // namespace tovi::gui
