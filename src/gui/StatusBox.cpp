#include "gui/StatusBox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QThread>

#include "gui/GuiText.h"
#include "gui/GuiThread.h"

namespace tovi::gui {

StatusBox::StatusBox(QWidget* parent)
    : QPlainTextEdit(parent), m_sink(std::make_unique<GuiStatusSink>(this)) {
    setObjectName(QStringLiteral("状态框"));
    setReadOnly(true);
    setMaximumBlockCount(kMaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One line high: the newest line shows; the wheel scrolls back through the log.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
    setViewportMargins(4, 1, 4, 0);
}

StatusBox::~StatusBox() = default;

StatusSink& StatusBox::sink() { return *m_sink; }

void StatusBox::appendGbk(const std::string& text) {
    QString t = q(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    // Each line is a block of its own, so the line cap applies and the newest line shows.
    const QStringList lines = t.split(QLatin1Char('\n'));
    c.insertText(lines.first());
    for (int i = 1; i < lines.size(); ++i) {
        c.insertBlock();
        c.insertText(lines[i]);
    }
    showNewest();
}

void StatusBox::replaceGbk(const std::string& text) {
    QString t = q(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(t);
    showNewest();
}

void StatusBox::showNewest() {
    // The box is one line high: put the start of the last line in view.
    QTextCursor c(document()->lastBlock());
    setTextCursor(c);
    ensureCursorVisible();
}

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
