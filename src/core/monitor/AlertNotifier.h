#pragma once
// The new-article alert: a sound, a different tray icon (each when switched on) and a status
// line, pending until the user looks.
#include <atomic>
#include <string>

#include "core/text/Timestamp.h"

namespace tovi {

class StatusSink;

// What the front does for an alert: GUI plays the sound and swaps the tray icon; the
// terminal prints a line; tests record.
class AlertSink {
public:
    virtual ~AlertSink() = default;
    virtual void playSound() = 0;
    virtual void showAlertIcon() = 0;   // tooltip "有新的消息！"
    virtual void showNormalIcon() = 0;  // tooltip "Tovi监控"
};

class AlertNotifier {
public:
    AlertNotifier(AlertSink& alerts, StatusSink& status, const Clock& clock)
        : m_alerts(alerts), m_status(status), m_clock(clock) {}

    // The alert switches (the settings file's 语音提醒 and 图标提醒); read at the moment of use.
    void setSoundOnNew(bool on) { m_soundOnNew.store(on); }
    void setIconOnNew(bool on) { m_iconOnNew.store(on); }
    bool soundOnNew() const { return m_soundOnNew.load(); }
    bool iconOnNew() const { return m_iconOnNew.load(); }

    // Set by runs that stored new articles; test-and-clear so a find is never lost.
    void noteNewArticles() { m_newArticlesFound.store(true); }

    // After a periodic cycle: alerts when runs found something since the last alert.
    bool raiseIfNewArticles();
    // Sound, icon and status line; the pending state begins.
    void raiseAlert();
    // Returns true when an alert was pending (the front then reloads the list from page 1).
    bool acknowledgeAlert();
    bool alertPending() const { return m_alertPending.load(); }

private:
    AlertSink& m_alerts;
    StatusSink& m_status;
    const Clock& m_clock;
    std::atomic<bool> m_soundOnNew{false}, m_iconOnNew{false};
    std::atomic<bool> m_newArticlesFound{false};
    std::atomic<bool> m_alertPending{false};
    std::atomic<bool> m_alertIconShown{false};
};

}  // namespace tovi
