#include <QApplication>
#include <QDir>

#include "gui/AppStartup.h"
#include "gui/Dialogs.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovidesk"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray keeps the program alive

    // The program directory holds tovi.sdb and tovimo.ini; contributors may point elsewhere.
    std::filesystem::path dir = QCoreApplication::applicationDirPath().toStdString();
    const QStringList args = QCoreApplication::arguments();
    int at = args.indexOf(QStringLiteral("--dir"));
    if (at >= 0 && at + 1 < args.size()) dir = QDir(args[at + 1]).absolutePath().toStdString();

    tovi::gui::Dialogs dialogs;
    tovi::gui::MainWindow window(dir, dialogs);
    new tovi::gui::OptionsController(window);
    if (!tovi::gui::AppStartup::run(window)) return 1;
    window.show();
    return app.exec();
}
