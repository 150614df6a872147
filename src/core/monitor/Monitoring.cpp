#include "core/monitor/Monitoring.h"

#include "core/settings/Settings.h"

namespace tovi {

Monitoring::Monitoring(Database& db, StatusSink& sink, AlertSink& alertSink, MonitorListener* listener,
                       FetchLimits limits, const Clock* clock)
    : m_clock(clock ? *clock : m_localClock),
      m_sql(db, sink),
      m_alerts(alertSink, sink, m_clock),
      m_extractor(m_sql, m_table, m_alerts, m_clock, limits),
      m_engine(std::make_unique<MonitorEngine>(m_extractor, m_alerts, sink, m_clock, listener)) {}

void Monitoring::applySettings(const Settings& settings) {
    m_alerts.setSoundOnNew(settings.read(SettingKey::soundAlert()));
    m_alerts.setIconOnNew(settings.read(SettingKey::iconAlert()));
    m_engine->setParallel(settings.parallelFetches());
}

}  // namespace tovi
