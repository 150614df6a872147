#pragma once
// The status box: the program's running log. Workers write through GuiStatusSink, which
// hands every change to the GUI thread; the box keeps the last few thousand lines.
#include <QPlainTextEdit>
#include <QPointer>
#include <memory>

#include "core/store/StatusSink.h"

namespace tovi::gui {

class GuiStatusSink;

class StatusBox : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 5000;
    explicit StatusBox(QWidget* parent = nullptr);
    ~StatusBox() override;

    // The sink workers write through: every change is carried out on the GUI thread.
    StatusSink& sink();

    // GBK text as the core writes it: "\r\n" starts a new line, other text continues the last one.
    void appendGbk(const std::string& text);
    void replaceGbk(const std::string& text);

private:
    void showNewest();
    std::unique_ptr<GuiStatusSink> m_sink;
};

class GuiStatusSink final : public QObject, public StatusSink {
    Q_OBJECT
public:
    explicit GuiStatusSink(StatusBox* box) : m_box(box) {}
    void append(std::string_view text) override;
    void replaceAll(std::string_view text) override;

private:
    QPointer<StatusBox> m_box;
};

}  // namespace tovi::gui
