#include "core/monitor/AlertNotifier.h"

#include "core/settings/Settings.h"
#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"

namespace tovi {

void AlertNotifier::setSoundOnNew(std::string value) {
    std::lock_guard g(m_switchMutex);
    m_soundOnNew = std::move(value);
}

void AlertNotifier::setIconOnNew(std::string value) {
    std::lock_guard g(m_switchMutex);
    m_iconOnNew = std::move(value);
}

std::string AlertNotifier::soundOnNew() const {
    std::lock_guard g(m_switchMutex);
    return m_soundOnNew;
}

std::string AlertNotifier::iconOnNew() const {
    std::lock_guard g(m_switchMutex);
    return m_iconOnNew;
}

bool AlertNotifier::raiseIfNewArticles() {
    if (!m_newArticlesFound.exchange(false)) return false;
    raiseAlert();
    return true;
}

void AlertNotifier::raiseAlert() {
    if (Settings::isOn(soundOnNew())) m_alerts.playSound();
    if (Settings::isOn(iconOnNew())) {
        m_alerts.showAlertIcon();
        m_alertIconShown.store(true);
    }
    m_status.append(gbk("\r\n发现有新内容！请单击 托盘图标 或左上角 全部文章按钮更新列表！----") +
                    longTimestamp(m_clock));
    m_alertPending.store(true);
}

bool AlertNotifier::acknowledgeAlert() {
    if (!m_alertPending.exchange(false)) return false;
    // The icon comes back whenever the alert icon shows, even if the switch was turned off
    // meanwhile: otherwise the alert icon would stay for good.
    if (m_alertIconShown.exchange(false)) m_alerts.showNormalIcon();
    return true;
}

}  // namespace tovi
