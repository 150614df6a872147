#pragma once
// Opens the options window for the main window's menus.
#include <QObject>

namespace tovi::gui {

class Dialogs;
class MainWindow;

class OptionsController : public QObject {
    Q_OBJECT
public:
    OptionsController(MainWindow& main, Dialogs& dialogs);
    void open(int page);

private:
    MainWindow& m_main;
    Dialogs& m_dialogs;
};

}  // namespace tovi::gui
