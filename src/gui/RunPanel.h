#pragma once
// 左一框: the frequency box and the two run buttons. 运行 starts or stops periodic monitoring
// of the ticked plans after the frequency rule; 一键提取 runs one pass.
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "core/plans/PlanTree.h"
#include "gui/MonitorBridge.h"

class QLineEdit;
class QPushButton;

namespace tovi::gui {

class Dialogs;

class RunPanel : public QWidget {
    Q_OBJECT
public:
    using QueueSource = std::function<std::vector<int>(RunMode)>;

    // cyclePause, when set, replaces the frequency's pause between cycles.
    RunPanel(QWidget* parent, MonitorBridge& bridge, Dialogs& dialogs, QueueSource queue,
             std::optional<std::chrono::milliseconds> cyclePause = std::nullopt);

    QString frequencyText() const;
    void setFrequencyText(const QString& text);
    // 运行 stays disabled when the database could not be opened; without tovi.sdb both are.
    void setRunEnabled(bool enabled);
    void setOneClickEnabled(bool enabled);
    // 一键提取 says this instead of running (the database cannot be used); empty: it runs.
    void setOneClickRefusal(const QString& why) { m_oneClickRefusal = why; }

    void toggleMonitoring();
    void oneClickExtract();

signals:
    // Monitoring is about to start: the list reloads from page 1 before the first cycle.
    void monitoringStarting();
    // The user started monitoring with a cycle of so many seconds, or stopped it (nullopt);
    // not a stop on closing.
    void monitoringToggledByUser(std::optional<std::int64_t> cycleSeconds);

private:
    MonitorBridge& m_bridge;
    Dialogs& m_dialogs;
    QueueSource m_queue;
    std::optional<std::chrono::milliseconds> m_cyclePause;
    QLineEdit* m_frequency = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_oneClick = nullptr;
    QString m_oneClickRefusal;
};

}  // namespace tovi::gui
