#pragma once
// The page "推送": the push channels (their tokens masked), adding one from its URL, a test
// message sent off the GUI thread with the service's answer shown, and removing one.
#include <QWidget>
#include <memory>

#include "core/push/Pushes.h"
#include "gui/BackgroundCall.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tovi {
class Database;
}

namespace tovi::gui {

class Dialogs;

class PushPage : public QWidget {
    Q_OBJECT
public:
    PushPage(Database& db, Dialogs& dialogs, QWidget* parent = nullptr);
    void fillChannels();

private:
    void addChannel();
    void testChannel();
    void removeChannel();
    std::optional<PushChannel> selectedChannel();

    Database& m_db;
    Dialogs& m_dialogs;
    QTableWidget* m_table = nullptr;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_plans = nullptr;
    QLineEdit* m_quiet = nullptr;
    QCheckBox* m_newArticles = nullptr;
    QCheckBox* m_health = nullptr;
    QPushButton* m_test = nullptr;
    QLabel* m_result = nullptr;
    std::unique_ptr<BackgroundCall<PushTestResult>> m_testCall;
};

}  // namespace tovi::gui
