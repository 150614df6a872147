#include "gui/OptionsWindow.h"

#include <QDialog>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "gui/Dialogs.h"
#include "gui/MainWindow.h"

namespace tovi::gui {

OptionsController::OptionsController(MainWindow& main, Dialogs& dialogs) : m_main(main), m_dialogs(dialogs) {
    connect(&m_main, &MainWindow::optionsRequested, this, &OptionsController::open);
}

void OptionsController::open(int page) {
    // The plan editor is not built yet; the pages are there so the menus lead somewhere.
    QDialog dialog(&m_main);
    dialog.setWindowTitle(QStringLiteral("选项设置"));
    auto* tabs = new QTabWidget(&dialog);
    for (const char* name : {"方案列表", "方案操作", "高级设置"}) {
        auto* label = new QLabel(QStringLiteral("这一页还在制作中。方案可以先用 tovidesk-cli 管理（见 README）。"));
        label->setAlignment(Qt::AlignCenter);
        tabs->addTab(label, QString::fromUtf8(name));
    }
    tabs->setCurrentIndex(qBound(0, page, tabs->count() - 1));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tabs);
    dialog.resize(760, 520);
    dialog.exec();
}

}  // namespace tovi::gui
