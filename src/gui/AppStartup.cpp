#include "gui/AppStartup.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "gui/MainWindow.h"

namespace tovi::gui {

bool AppStartup::speakChinese() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QString AppStartup::missingChineseFont() {
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) return {};
    return QStringLiteral(
        "No font for Chinese is installed, so the window's texts show as boxes. "
        "Install one, e.g.: apt-get install fonts-noto-cjk");
}

bool AppStartup::run(MainWindow& window) {
    window.applySettings();
    window.installTray();
    if (!window.openDatabase()) return false;
    window.placeWindow();
    window.buildPlanTree();
    window.installHotKey();
    window.resumeMonitoring();
    return true;
}

}  // namespace tovi::gui
