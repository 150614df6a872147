#include "gui/KeyboardUse.h"

#include <QAbstractItemView>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace tovi::gui {

void letTabMoveOn(QWidget* root) {
    for (auto* box : root->findChildren<QPlainTextEdit*>()) box->setTabChangesFocus(true);
    for (auto* box : root->findChildren<QTextEdit*>()) box->setTabChangesFocus(true);
    for (auto* view : root->findChildren<QAbstractItemView*>()) view->setTabKeyNavigation(false);
}

void orderTabs(QWidget* root, const QStringList& names) {
    QWidget* previous = nullptr;
    for (const QString& name : names) {
        QWidget* w = root->findChild<QWidget*>(name);
        if (!w) continue;
        if (w->focusPolicy() == Qt::NoFocus) w->setFocusPolicy(Qt::TabFocus);
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

}  // namespace tovi::gui
