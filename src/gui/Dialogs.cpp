#include "gui/Dialogs.h"

namespace tovi::gui {

void Dialogs::show(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon,
                   bool modal) {
    auto* box =
        new QMessageBox(icon, caption.isEmpty() ? defaultCaption() : caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (modal) {
        box->exec();
    } else {
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
}

bool Dialogs::ask(QWidget* parent, const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tovi::gui
