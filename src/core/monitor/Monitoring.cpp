#include "core/monitor/Monitoring.h"

#include "core/settings/Settings.h"
#include "core/text/Gbk.h"

namespace tovi {

Monitoring::Monitoring(Database& db, StatusSink& sink, AlertSink& alertSink, MonitorListener* listener,
                       FetchLimits limits, const Clock* clock)
    : m_clock(clock ? *clock : m_localClock),
      m_sql(db, sink),
      m_alerts(alertSink, sink, m_clock),
      m_planRunner(m_sql, m_table, m_alerts, m_clock, limits),
      m_listener(listener),
      m_engine(std::make_unique<MonitorEngine>(m_planRunner, m_alerts, sink, m_clock, listener)) {
    m_engine->setAfterPass(
        [this](std::stop_token stop) { flushPushes([stop] { return stop.stop_requested(); }); });
}

PushFlushReport Monitoring::flushPushes(const std::function<bool()>& cancel) {
    PushFlushOptions options;
    options.cancel = cancel;
    PushFlushReport report = tovi::flushPushes(m_sql.database(), options);
    for (const std::string& line : report.lines) m_sql.sink().append("\r\n" + line);
    if (m_listener && (report.sent || report.failed || report.givenUp)) m_listener->pushesFlushed(report);
    return report;
}

std::string Monitoring::applySettings(const Settings& settings) {
    m_alerts.setSoundOnNew(Settings::isOn(settings.read(SettingKey::soundAlert())));
    m_alerts.setIconOnNew(Settings::isOn(settings.read(SettingKey::iconAlert())));
    m_engine->setParallel(settings.parallelFetches());
    if (const std::string text = settings.read(SettingKey::parallel());
        !text.empty() && !checkSetting(SettingKey::parallel(), text)) {
        const std::string note = gbk("并发 设置有误（") + text.substr(0, 40) + gbk("），按 ") +
                                 std::to_string(Settings::kDefaultParallelFetches) + gbk(" 个同时获取");
        m_sql.sink().append("\r\n" + note);
        return note;
    }
    return {};
}

}  // namespace tovi
