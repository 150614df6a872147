#include "core/monitor/AlertNotifier.h"

#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"

namespace tovi {

bool AlertNotifier::raiseIfNewArticles() {
    if (!m_newArticlesFound.exchange(false)) return false;
    raiseAlert();
    return true;
}

void AlertNotifier::raiseAlert() {
    if (soundOnNew()) m_alerts.playSound();
    if (iconOnNew()) {
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
