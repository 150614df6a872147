#include "gui/StatusBox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QThread>

#include "gui/GuiText.h"

namespace tovi::gui {

StatusBox::StatusBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setMaximumBlockCount(kMaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One line high: the newest line shows; the wheel scrolls back through the log.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(3);
}

void StatusBox::appendGbk(const std::string& text) {
    QString t = q(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(t);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusBox::replaceGbk(const std::string& text) {
    QString t = q(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(t);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::string StatusBox::gbkText() const {
    QString t = toPlainText();
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return g(t);
}

namespace {
template <typename F>
void onGuiThread(QObject* context, F&& f) {
    if (QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}
}  // namespace

void GuiStatusSink::append(std::string_view text) {
    std::string copy(text);
    onGuiThread(this, [this, copy] {
        if (m_box) m_box->appendGbk(copy);
    });
}

void GuiStatusSink::replaceAll(std::string_view text) {
    std::string copy(text);
    onGuiThread(this, [this, copy] {
        if (m_box) m_box->replaceGbk(copy);
    });
}

}  // namespace tovi::gui
