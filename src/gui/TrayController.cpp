#include "gui/TrayController.h"

#include <QApplication>
#include <QMenu>
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

#include "core/settings/Settings.h"
#include "core/settings/WindowSettings.h"
#include "gui/Artwork.h"
#include "gui/DesktopNotifier.h"
#include "gui/GuiThread.h"

namespace tovi::gui {

const QString& TrayController::normalTip() {
    static const QString tip = QStringLiteral("Tovi监控");
    return tip;
}

const QString& TrayController::alertTip() {
    static const QString tip = QStringLiteral("有新的消息！");
    return tip;
}

TrayController::TrayController(QWidget* window, Settings& settings)
    : QObject(window), m_window(window), m_settings(settings) {
    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("托盘菜单"));
    m_menu->addAction(QStringLiteral("选项设置"), this, &TrayController::optionsRequested);
    m_menu->addSeparator();
    m_sound = m_menu->addAction(QStringLiteral("有新文章时 播放声音"), this, [this] {
        if (m_alerts) m_alerts->setSoundOnNew(toggleSoundAlert(m_settings, m_alerts->soundOnNew()));
        updateChecks();
    });
    m_sound->setCheckable(true);
    m_iconSwitch = m_menu->addAction(QStringLiteral("有新文章时 切换图标"), this, [this] {
        if (m_alerts) m_alerts->setIconOnNew(toggleIconAlert(m_settings, m_alerts->iconOnNew()));
        updateChecks();
    });
    m_iconSwitch->setCheckable(true);
    m_notifySwitch = m_menu->addAction(QStringLiteral("有新文章时 弹出通知"), this, [this] {
        m_notifyOn = toggleNotifyAlert(m_settings, m_notifyOn);
        updateChecks();
    });
    m_notifySwitch->setCheckable(true);
    m_pushSwitch = m_menu->addAction(QStringLiteral("推送新文章"));
    m_pushSwitch->setObjectName(QStringLiteral("推送新文章"));
    m_pushSwitch->setCheckable(true);
    m_pushSwitch->setVisible(false);  // until bound
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("记住当前 界面大小、频率"), this,
                      &TrayController::saveWindowSettingsRequested);
    m_menu->addAction(QStringLiteral("关于..."), this, &TrayController::aboutRequested);
    m_menu->addAction(QStringLiteral("退出"), this, &TrayController::exitRequested);
    // The marks follow the switches each time the menu opens.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayController::updateChecks);

    // The icon object exists on every desktop (it carries the alert state); it is shown only
    // where there is a notification area.
    m_icon = new QSystemTrayIcon(artwork::appIcon(), this);
    m_icon->setObjectName(QStringLiteral("托盘图标"));
    m_icon->setToolTip(normalTip());
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A right click opens the menu by itself and leaves a pending alert pending.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit activated();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayController::notificationClicked);
    m_desktop = new DesktopNotifier(this);
    connect(m_desktop, &DesktopNotifier::clicked, this, &TrayController::notificationClicked);
    connect(m_desktop, &DesktopNotifier::dismissed, this, &TrayController::notificationDismissed);
    connect(m_desktop, &DesktopNotifier::failed, this, &TrayController::showBalloon);
}

bool TrayController::install() {
    if (!available()) return false;
    m_icon->show();
    return true;
}

bool TrayController::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayController::hide() { m_icon->hide(); }

void TrayController::updateChecks() {
    m_sound->setChecked(m_alerts && m_alerts->soundOnNew());
    m_iconSwitch->setChecked(m_alerts && m_alerts->iconOnNew());
    m_notifySwitch->setChecked(Settings::notifyOn(m_notifyOn));
    m_pushSwitch->setChecked(m_pushOn && m_pushOn());
}

void TrayController::setPushSwitch(std::function<bool()> read, std::function<void(bool)> write) {
    m_pushOn = std::move(read);
    m_pushSwitch->setVisible(true);
    connect(m_pushSwitch, &QAction::triggered, this, [this, write = std::move(write)](bool on) {
        write(on);
        updateChecks();
    });
    updateChecks();
}

void TrayController::readNotifySwitch() {
    m_notifyOn = m_settings.read(SettingKey::notifyAlert());
    updateChecks();
}

void TrayController::notify(const QString& title, const QString& body) {
    if (!Settings::notifyOn(m_notifyOn)) return;
    // Through the desktop's service; what it does not take comes back to the balloon.
    m_desktop->show(title, body);
}

void TrayController::showBalloon(const QString& title, const QString& body) {
    // Without a notification service or area the other alerts still come.
    if (!m_icon->isVisible() || !QSystemTrayIcon::supportsMessages()) return;
    m_icon->showMessage(title, body, QSystemTrayIcon::Information, 10000);
}

void TrayController::popupMenu(const QPoint& globalPos) { m_menu->popup(globalPos); }

void TrayController::playSound() {
    onGuiThread(this, [this] {
        if (!m_player) {
            m_player = new QSoundEffect(this);
            m_player->setSource(QUrl(QStringLiteral("qrc:/tovidesk/alert.wav")));
        }
        m_player->play();  // no device: Qt skips it quietly
    });
}

void TrayController::showAlertIcon() {
    onGuiThread(this, [this] {
        m_icon->setIcon(artwork::alertIcon());
        m_icon->setToolTip(alertTip());
        // Without a notification area the taskbar entry asks for attention instead.
        if (!m_icon->isVisible()) QApplication::alert(m_window);
    });
}

void TrayController::showNormalIcon() {
    onGuiThread(this, [this] {
        m_icon->setIcon(artwork::appIcon());
        m_icon->setToolTip(normalTip());
    });
}

}  // namespace tovi::gui
