#pragma once
// The tray icon and the program's main menu (托盘菜单, also behind the ☰ button), and the
// alert the user sees and hears: the alert icon with its tooltip, the sound. It is the GUI's
// alert sink: the engine calls it on worker threads, and it carries each call out on the GUI
// thread.
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "core/monitor/AlertNotifier.h"

class QAction;
class QMenu;
class QSoundEffect;
class QWidget;

namespace tovi::gui {
class DesktopNotifier;
}

namespace tovi {
class Settings;
}

namespace tovi::gui {

class TrayController : public QObject, public AlertSink {
    Q_OBJECT
public:
    static const QString& normalTip();  // "Tovi监控"
    static const QString& alertTip();   // "有新的消息！"

    // The menu belongs to the window; the switches are read and written through settings.
    TrayController(QWidget* window, Settings& settings);

    // Binds the alert switches the menu shows and toggles.
    void setAlerts(AlertNotifier* alerts) { m_alerts = alerts; }
    // Binds "推送新文章" to where it is kept (tovi.sdb, so runs from the command line obey it).
    void setPushSwitch(std::function<bool()> read, std::function<void(bool)> write);
    // The notification switch as the settings file holds it (on unless "0").
    void readNotifySwitch();
    // A desktop notification of new articles, when the switch is on: through the desktop's
    // notification service where it runs, else as the tray icon's balloon.
    void notify(const QString& title, const QString& body);
    // Shows the icon where the desktop has a notification area; false where it has none.
    bool install();
    bool available() const;
    void hide();
    void popupMenu(const QPoint& globalPos);

    // AlertSink: may be called from any thread.
    void playSound() override;
    void showAlertIcon() override;
    void showNormalIcon() override;

signals:
    // A left click or double-click on the icon.
    void activated();
    // A click on a notification of new articles.
    void notificationClicked();
    // The user closed the notification without opening the articles.
    void notificationDismissed();
    void optionsRequested();
    void saveWindowSettingsRequested();
    void aboutRequested();
    void exitRequested();

private:
    void updateChecks();
    void showBalloon(const QString& title, const QString& body);

    QWidget* m_window;
    Settings& m_settings;
    AlertNotifier* m_alerts = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_sound = nullptr;
    QAction* m_iconSwitch = nullptr;
    QAction* m_notifySwitch = nullptr;
    QAction* m_pushSwitch = nullptr;
    std::function<bool()> m_pushOn;
    std::string m_notifyOn;
    QSoundEffect* m_player = nullptr;
    DesktopNotifier* m_desktop = nullptr;
};

}  // namespace tovi::gui
