#pragma once
// A program directory with a database, a loopback site whose pages the test changes between
// runs, and the monitoring engine over both.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "core/monitor/Monitoring.h"
#include "core/store/Database.h"
#include "support/LoopbackServers.h"
#include "support/TestSupport.h"

namespace tovi::test {

class FixedClock final : public Clock {
public:
    std::tm now() const override;  // 9 December 2016, 07:05:03
};

class RecordingAlerts final : public AlertSink {
public:
    void playSound() override { ++sounds; }
    void showAlertIcon() override {
        ++alertIcons;
        iconIsAlert = true;
    }
    void showNormalIcon() override {
        ++normalIcons;
        iconIsAlert = false;
    }
    std::atomic<int> sounds{0}, alertIcons{0}, normalIcons{0};
    std::atomic<bool> iconIsAlert{false};
};

class RecordingListener final : public MonitorListener {
public:
    void queueEmpty(RunMode) override { ++emptyQueues; }
    void workerFinished(RunMode) override { ++finished; }
    void cycleFinished(bool alerted) override {
        ++cycles;
        if (alerted) ++alerts;
    }
    std::atomic<int> emptyQueues{0}, finished{0}, cycles{0}, alerts{0};
};

// The values of one rule row as a test inserts it (texts in UTF-8, turned into GBK on insert).
struct PlanRowValues {
    std::string name = "plan";
    std::string url;
    std::string code = "1";  // GBK page
    std::string cookie;
    std::string ua = "TestAgent";
    std::string buquan = "http://site/t-[1].html";
    std::string regular = "<li><a href=\"t-(\\d+)\\.html\">(.*?)</a><i>(.*?)</i></li>";
    std::string before = "<ul id=\"list\">";
    std::string after = "</ul>";
    std::string tindex = "2", uindex = "1", oindex = "3";
    std::string type = "0";
    int isdo = 1;
};

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Serves body at path (GBK bytes or UTF-8 as given) until changed.
    void setPage(const std::string& path, const std::string& body);
    // A list page of articles (id, title) in the given order, as GBK or UTF-8.
    static std::string listPage(const std::vector<std::pair<int, std::string>>& items, bool utf8);

    // Inserts the plan (values bound) and reloads the plan table; returns its id.
    int addPlan(PlanRowValues spec);
    void reloadPlanTable();
    // Titles of the plan's articles, newest row first.
    std::vector<std::string> titles(int planId);
    int articleCount();

    TempDir dir;
    Database db;
    RecordingSink sink;
    RecordingAlerts alerts;
    RecordingListener listener;
    FixedClock clock;
    // What the site's handlers use comes before the site, so it outlives the server's thread.
    std::mutex pagesMutex;
    std::map<std::string, std::string> pages;
    std::vector<std::string> cookiesSeen;
    HttpTestServer server;
    std::unique_ptr<Monitoring> monitoring;
};

}  // namespace tovi::test
