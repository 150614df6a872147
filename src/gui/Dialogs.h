#pragma once
// Message boxes go through here so tests can record them instead of blocking on them.
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace tovi::gui {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A box without a caption of its own has the caption "信息：" and only an OK button.
    // modal: the call returns when the box is closed; otherwise it returns at once.
    virtual void show(QWidget* parent, const QString& text, const QString& caption = QString(),
                      QMessageBox::Icon icon = QMessageBox::NoIcon, bool modal = true);
    // A yes/no question; true for yes. The answer defaults to no.
    virtual bool ask(QWidget* parent, const QString& text, const QString& caption);
    static QString defaultCaption() { return QStringLiteral("信息："); }
};

}  // namespace tovi::gui
