#include <QApplication>
#include <QDir>

#include "core/settings/ProgramDir.h"
#include "gui/AppStartup.h"
#include "gui/Dialogs.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovidesk"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray keeps the program alive

    // tovi.sdb and tovimo.ini live beside the program, or in ~/.local/share/tovidesk when the
    // program is installed where it cannot write; contributors may point elsewhere (--dir).
    const std::filesystem::path exeDir = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::path dir;
    const QStringList args = QCoreApplication::arguments();
    int at = args.indexOf(QStringLiteral("--dir"));
    if (at >= 0 && at + 1 < args.size()) {
        dir = QDir(args[at + 1]).absolutePath().toStdString();
    } else {
        dir = tovi::programDataDir(exeDir);
        tovi::seedProgramFiles(exeDir, dir);
    }

    tovi::gui::Dialogs dialogs;
    tovi::gui::MainWindow window(dir, dialogs);
    new tovi::gui::OptionsController(window);
    if (!tovi::gui::AppStartup::run(window)) return 1;
    window.show();
    return app.exec();
}
