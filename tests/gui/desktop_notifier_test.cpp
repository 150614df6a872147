// Notices through the desktop's notification service, tested against a service of our own on a
// private D-Bus bus: what the notice says, that a new one replaces the last, that a click on it
// comes back, and that without a service the tray's balloon is left to do it.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include "core/monitor/MonitorEngine.h"
#include "core/text/Gbk.h"
#include "gui/DesktopNotifier.h"

namespace tovi::gui {
namespace {

// A bus of the test's own: a dbus-daemon started for it and stopped with it. It knows no
// services to start (a notification daemon installed on the machine stays out of it).
class PrivateBus {
public:
    PrivateBus() {
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        config.open(QIODevice::WriteOnly);
        config.write(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(m_address, name);
    }
    bool running() const { return !m_address.isEmpty(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// What a notification daemon does as far as we use it: it takes Notify calls and answers ids.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        uint replaces;
        QString summary, body;
        QStringList actions;
    };
    QList<Call> calls;

public slots:
    Q_SCRIPTABLE uint Notify(const QString& app, uint replaces, const QString&, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap&, int) {
        calls.append({app, replaces, summary, body, actions});
        return replaces ? replaces : 41 + static_cast<uint>(calls.size());
    }
};

TEST(DesktopNotifier, NoticesGoToTheServiceReplaceTheLastAndReportClicks) {
    PrivateBus bus;
    if (!bus.running()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    FakeNotifications service;
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                           QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifier notifier(nullptr, bus.connect(QStringLiteral("client")));
    QSignalSpy failed(&notifier, &DesktopNotifier::failed);
    notifier.show(QStringLiteral("Tovidesk：2 篇新文章"), QStringLiteral("[论坛] <b>标题</b> & 更多"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls.size() == 1; }, 5000));
    const auto first = service.calls[0];
    EXPECT_EQ(first.app, QStringLiteral("Tovidesk"));
    EXPECT_EQ(first.replaces, 0u);
    EXPECT_EQ(first.summary, QStringLiteral("Tovidesk：2 篇新文章"));
    // Page text never becomes the service's markup.
    EXPECT_EQ(first.body, QStringLiteral("[论坛] &lt;b&gt;标题&lt;/b&gt; &amp; 更多"));
    EXPECT_TRUE(first.actions.contains(QStringLiteral("default")));

    // The next notice takes the place of the first (once its id has come back).
    QTest::qWait(100);
    notifier.show(QStringLiteral("Tovidesk：1 篇新文章"), QStringLiteral("[新闻] 另一篇"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls.size() == 2; }, 5000));
    EXPECT_EQ(service.calls[1].replaces, 42u);

    // A click on our notice (its default action) comes back; one on another program's does not.
    QSignalSpy clicked(&notifier, &DesktopNotifier::clicked);
    QTest::qWait(100);
    for (uint id : {7u, 42u}) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        serviceSide.send(signal);
    }
    ASSERT_TRUE(clicked.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(failed.count(), 0);
}

// A daemon that is there but fails (it could not start, it broke): every call is an error.
class BrokenNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    int calls = 0;
public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                             const QStringList&, const QVariantMap&, int) {
        ++calls;
        sendErrorReply(QDBusError::Failed, QStringLiteral("no display for the daemon"));
        return 0;
    }
};

TEST(DesktopNotifier, ANoticeNobodyTakesComesBackForTheBalloonWithoutWaitingOnTheBus) {
    PrivateBus bus;
    if (!bus.running()) GTEST_SKIP() << "no dbus-daemon";
    struct Case {
        const char* what;
        bool broken;
    };
    for (const Case c : {Case{"no service", false}, Case{"an error reply", true}}) {
        SCOPED_TRACE(c.what);
        QDBusConnection serviceSide = bus.connect(QString::fromUtf8(c.what));
        BrokenNotifications broken;
        if (c.broken) {
            ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &broken,
                                                   QDBusConnection::ExportScriptableSlots));
            ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
        }
        DesktopNotifier notifier(nullptr, bus.connect(QStringLiteral("client ") + QString::fromUtf8(c.what)));
        QSignalSpy failed(&notifier, &DesktopNotifier::failed);
        QElapsedTimer t;
        t.start();
        notifier.show(QStringLiteral("Tovidesk：1 篇新文章"), QStringLiteral("[论坛] 标题"));
        EXPECT_LT(t.elapsed(), 200);  // the call returns at once
        ASSERT_TRUE(failed.wait(5000));
        EXPECT_EQ(failed[0][0].toString(), QStringLiteral("Tovidesk：1 篇新文章"));
        EXPECT_EQ(failed[0][1].toString(), QStringLiteral("[论坛] 标题"));
        if (c.broken) {
            EXPECT_EQ(broken.calls, 1);
            serviceSide.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            serviceSide.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        }
    }
    // Without a bus at all, the same.
    DesktopNotifier offline(nullptr, QDBusConnection(QStringLiteral("not connected")));
    QSignalSpy failed(&offline, &DesktopNotifier::failed);
    offline.show(QStringLiteral("t"), QStringLiteral("b"));
    EXPECT_EQ(failed.count(), 1);
}

TEST(DesktopNotifier, AReplacingNoticeCountsWhatWasNotSeen) {
    auto pass = [](int alerting, std::vector<std::pair<const char*, const char*>> lines) {
        PassSummary p;
        p.alerting = alerting;
        for (const auto& [plan, title] : lines) p.newest.emplace_back(gbk(plan), gbk(title));
        return p;
    };
    PassSummary unseen;
    unseen = unseenWith(unseen, pass(3, {{"论坛", "甲"}, {"论坛", "乙"}, {"论坛", "丙"}}));
    unseen = unseenWith(unseen, pass(2, {{"新闻", "丁"}, {"新闻", "戊"}}));
    unseen = unseenWith(unseen, pass(1, {{"新闻", "己"}}));
    const PassNotification n = passNotification(unseen);
    EXPECT_EQ(gbkToUtf8(n.title), "Tovidesk：6 篇新文章");
    EXPECT_EQ(gbkToUtf8(n.body), "[新闻] 己\n[新闻] 丁\n[新闻] 戊\n[论坛] 甲\n[论坛] 乙\n……");
}

}  // namespace
}  // namespace tovi::gui

#include "desktop_notifier_test.moc"
