#pragma once
// The program's images, drawn by us at start-up: tray icons, title-bar buttons, grip.
#include <QIcon>
#include <QPixmap>

namespace tovi::gui::artwork {

QIcon appIcon();    // the normal tray and window icon (256 down to 16 pixels)
QIcon alertIcon();  // the tray icon while new articles wait
QIcon minimiseIcon();
QIcon closeIcon();
QIcon settingsIcon();
QIcon homeIcon();
QPixmap gripPixmap();

}  // namespace tovi::gui::artwork
