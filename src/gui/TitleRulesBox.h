#pragma once
// The title rules group ("标题有效性"): keywords a title must contain, keywords it must not,
// and what the rules decide (入库: what is stored; 提醒: what raises the alert).
#include <QGroupBox>

#include "core/plans/TitleRules.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace tovi::gui {

class TitleRulesBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TitleRulesBox(QWidget* parent = nullptr);

    void setRules(const TitleRules& rules);
    TitleRules rules() const;

private:
    QCheckBox* m_includeOn = nullptr;
    QLineEdit* m_include = nullptr;
    QCheckBox* m_excludeOn = nullptr;
    QLineEdit* m_exclude = nullptr;
    QRadioButton* m_store = nullptr;
    QRadioButton* m_alert = nullptr;
};

}  // namespace tovi::gui
