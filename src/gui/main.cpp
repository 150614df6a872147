#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/settings/ProgramDir.h"
#include "gui/AppStartup.h"
#include "gui/Dialogs.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"
#include "gui/SingleInstance.h"

namespace {

// Answered before Qt starts: they need no display.
bool answeredWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "-v") {
            std::printf("tovidesk %s\n", TOVI_VERSION);
            return true;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: tovidesk [--dir DIR]\n"
                "Watches web list pages for new articles (the window; tovidesk-cli works without one).\n\n"
                "  --dir DIR    keep tovi.sdb and tovimo.ini in DIR (default: beside a portable program,\n"
                "               else ~/.local/share/tovidesk)\n"
                "  --version    print the version\n"
                "  --help       this text\n");
            return true;
        }
    }
    return false;
}

// Qt aborts without a display ("could not connect to display"); a person, or a service manager,
// is told instead what to do.
bool hasDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv)) return 0;
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "tovidesk: 没有可以打开窗口的显示器（DISPLAY 和 WAYLAND_DISPLAY 都没有设置）。\n"
                     "  没有桌面时请用 tovidesk-cli，例如：tovidesk-cli run --cycles 0\n"
                     "  或在虚拟显示器里打开窗口：xvfb-run -a tovidesk\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovidesk"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray keeps the program alive
    tovi::gui::AppStartup::speakChinese();

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

    // A second start on the same files brings the first window forward and ends.
    tovi::gui::SingleInstance instance(dir);
    if (instance.handOver()) {
        std::fprintf(stderr, "tovidesk: 已在运行（同一个程序目录），已切换到它的窗口。\n");
        return 0;
    }
    tovi::gui::Dialogs dialogs;
    tovi::gui::MainWindow window(dir, dialogs);
    QObject::connect(&instance, &tovi::gui::SingleInstance::activationRequested, &window,
                     &tovi::gui::MainWindow::bringToFront);
    new tovi::gui::OptionsController(window);
    if (!tovi::gui::AppStartup::run(window)) return 1;
    window.show();
    if (const QString missing = tovi::gui::AppStartup::missingChineseFont(); !missing.isEmpty())
        dialogs.show(&window, missing);
    return app.exec();
}
