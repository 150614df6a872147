#include "gui/RunPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/monitor/MonitorEngine.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/MainLayout.h"

namespace tovi::gui {
namespace {
const char* const kIdleCaption = "监控勾选";
const char* const kRunningCaption = "停止监控";
}  // namespace

RunPanel::RunPanel(QWidget* parent, MonitorBridge& bridge, Dialogs& dialogs, QueueSource queue,
                   std::optional<std::chrono::milliseconds> cyclePause)
    : QWidget(parent),
      m_bridge(bridge),
      m_dialogs(dialogs),
      m_queue(std::move(queue)),
      m_cyclePause(cyclePause) {
    setObjectName(QStringLiteral("左一框"));
    auto* label = new QLabel(QStringLiteral("频率"), this);
    label->setObjectName(QStringLiteral("标签13"));
    label->setGeometry(MainLayout::kFrequencyLabel);
    // A press on the label or the panel reaches the window, which moves on drag.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_frequency = new QLineEdit(this);
    m_frequency->setObjectName(QStringLiteral("频率框"));
    m_frequency->setGeometry(MainLayout::kFrequencyBox);
    m_frequency->setToolTip(QStringLiteral("两轮监控之间的秒数，不低于 10"));
    m_run = new QPushButton(QString::fromUtf8(kIdleCaption), this);
    m_run->setObjectName(QStringLiteral("运行"));
    m_run->setToolTip(QStringLiteral("自动监控被勾选项目的新文章"));
    m_run->setGeometry(MainLayout::kRunButton);
    connect(m_run, &QPushButton::clicked, this, &RunPanel::toggleMonitoring);
    m_oneClick = new QPushButton(QStringLiteral("一键提取"), this);
    m_oneClick->setObjectName(QStringLiteral("一键提取"));
    m_oneClick->setToolTip(QStringLiteral("获取所有方案的新文章"));
    m_oneClick->setGeometry(MainLayout::kOneClickButton);
    connect(m_oneClick, &QPushButton::clicked, this, &RunPanel::oneClickExtract);
    connect(&m_bridge, &MonitorBridge::stateChanged, this, [this](RunState state) {
        m_run->setText(QString::fromUtf8(state == RunState::Monitoring ? kRunningCaption : kIdleCaption));
    });
}

QString RunPanel::frequencyText() const { return m_frequency->text(); }
void RunPanel::setFrequencyText(const QString& text) { m_frequency->setText(text); }
void RunPanel::setRunEnabled(bool enabled) { m_run->setEnabled(enabled); }
void RunPanel::setOneClickEnabled(bool enabled) { m_oneClick->setEnabled(enabled); }

void RunPanel::toggleMonitoring() {
    // The frequency rule comes first, also when monitoring runs.
    auto seconds = checkFrequency(g(m_frequency->text()));
    if (!seconds) {
        m_dialogs.show(window(), QStringLiteral("监控频率不能低于 10 秒"));
        m_frequency->setText(QStringLiteral("10"));
        return;
    }
    if (m_bridge.state() == RunState::Monitoring) {
        m_bridge.stopMonitoring();
        emit monitoringToggledByUser(std::nullopt);
        return;
    }
    emit monitoringToggledByUser(*seconds);
    emit monitoringStarting();
    m_bridge.startMonitoring(m_queue(RunMode::RunTicked),
                             m_cyclePause ? *m_cyclePause : cyclePause(*seconds));
}

void RunPanel::oneClickExtract() {
    if (!m_oneClickRefusal.isEmpty()) {
        m_dialogs.show(window(), m_oneClickRefusal, QString(), QMessageBox::Warning);
        return;
    }
    m_bridge.startOneClick(m_queue(m_bridge.oneClickMode()));
}

}  // namespace tovi::gui
