#pragma once
// The plan editor's controls where the design puts them, with their names, captions and first
// states; PlanEditorPage gives them their behaviour.
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QWidget;

namespace tovi::gui {

struct PlanEditorControls {
    // 采集配置
    QLineEdit* name = nullptr;
    QComboBox* category = nullptr;
    QCheckBox* gbk = nullptr;
    QCheckBox* ownCertificate = nullptr;  // accept the site's own certificate
    QCheckBox* render = nullptr;          // load the page in a browser first
    QLineEdit* ua = nullptr;
    QLineEdit* url = nullptr;
    QPlainTextEdit* cookie = nullptr;
    QLineEdit* before = nullptr;
    QLineEdit* after = nullptr;
    QComboBox* regex = nullptr;
    // 数据项
    QGroupBox* dataItems = nullptr;
    QRadioButton* modes[3] = {};  // 时间倒序, 时间正序, 比较文章ID
    QLineEdit* tindex = nullptr;
    QLineEdit* uindex = nullptr;
    QLineEdit* oindex = nullptr;
    QLineEdit* urlTemplate = nullptr;
    QCheckBox* browserLinks = nullptr;  // links composed as a browser follows them
    // Saving, testing and the results
    QLineEdit* id = nullptr;
    QPushButton* save = nullptr;
    QPushButton* test = nullptr;
    QPushButton* rulesButton = nullptr;
    QPushButton* suggestButton = nullptr;
    QLabel* hint = nullptr;
    QTableWidget* testList = nullptr;
    QPlainTextEdit* testText = nullptr;
};

PlanEditorControls buildPlanEditorControls(QWidget* page, const QString& firstHint);

}  // namespace tovi::gui
