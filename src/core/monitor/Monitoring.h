#pragma once
// The monitoring engine wired together over the main connection, as both fronts use it.
#include <memory>

#include "core/monitor/AlertNotifier.h"
#include "core/monitor/MonitorEngine.h"
#include "core/monitor/PlanRunner.h"
#include "core/plans/PlanTable.h"
#include "core/push/Pushes.h"
#include "core/store/LoggedSql.h"

namespace tovi {

class Settings;

class Monitoring {
public:
    Monitoring(Database& db, StatusSink& sink, AlertSink& alertSink, MonitorListener* listener,
               FetchLimits limits = {}, const Clock* clock = nullptr);

    // The alert switches and the number of fetches in flight (并发) as the settings file holds them.
    // Gives what was wrong with them (also written to the status sink), empty when nothing.
    std::string applySettings(const Settings& settings);

    // Sends what waits in the outbox (after each pass, and on request), saying so in the status box.
    PushFlushReport flushPushes(const std::function<bool()>& cancel = {});

    const Clock& clock() const { return m_clock; }
    LoggedSql& sql() { return m_sql; }
    PlanTable& planTable() { return m_table; }
    AlertNotifier& alerts() { return m_alerts; }
    PlanRunner& planRunner() { return m_planRunner; }
    MonitorEngine& engine() { return *m_engine; }

private:
    Clock m_localClock;
    const Clock& m_clock;
    LoggedSql m_sql;
    PlanTable m_table;
    AlertNotifier m_alerts;
    PlanRunner m_planRunner;
    MonitorListener* m_listener;
    std::unique_ptr<MonitorEngine> m_engine;  // destroyed first: its workers use the rest
};

}  // namespace tovi
