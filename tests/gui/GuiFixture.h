#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "gui/Dialogs.h"
#include "gui/MainWindow.h"
#include "support/TestSupport.h"

namespace tovi::test {

class RecordingDialogs final : public gui::Dialogs {
public:
    struct Shown {
        QString text, caption;
        QMessageBox::Icon icon;
        bool modal;
    };
    void show(QWidget*, const QString& text, const QString& caption, QMessageBox::Icon icon,
              bool modal) override {
        shown.push_back({text, caption.isEmpty() ? defaultCaption() : caption, icon, modal});
    }
    bool ask(QWidget*, const QString& text, const QString& caption) override {
        shown.push_back({text, caption, QMessageBox::Question, true});
        return answer;
    }
    bool answer = false;  // what the user answers a question
    bool saw(const QString& text) const {
        for (const auto& s : shown)
            if (s.text.contains(text)) return true;
        return false;
    }
    std::vector<Shown> shown;
};

// Processes events until the condition holds (or the limit passes).
inline bool waitUntil(const std::function<bool()>& condition, int limitMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The widget (or other object) a window holds under the name, as a user finds it on screen.
template <typename T>
T* child(const QObject* root, const QString& name) {
    T* found = root->findChild<T*>(name);
    if (!found) ADD_FAILURE() << "no " << name.toStdString() << " in " << root->objectName().toStdString();
    return found;
}

inline void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Types text into a widget key by key (Chinese characters arrive as a keyboard method sends
// them: key events that carry the text).
inline void typeText(QWidget* target, const QString& text) {
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &release);
    }
}

// Replaces a box's text by typing, as a user does (the box reports each keystroke as an edit).
inline void typeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    typeText(box, text);
}

// A right click that asks the widget for its menu.
inline void contextMenu(QWidget* target, QPoint pos = QPoint(5, 5)) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
}

inline QAction* action(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    ADD_FAILURE() << "no menu item " << text.toStdString();
    return nullptr;
}

// Chooses a menu item as the user would after opening the menu.
inline void choose(QMenu* menu, const QString& text) {
    QAction* a = action(menu, text);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->isEnabled()) << text.toStdString();
    a->trigger();
    menu->close();
}

inline QString statusText(const QWidget* window) {
    return child<QPlainTextEdit>(window, QStringLiteral("状态框"))->toPlainText();
}

// A program directory with a database of a few plans and 250 articles.
class GuiFixture : public ::testing::Test {
protected:
    void makeProgramDir(bool withDatabase = true);
    // Builds the window and runs the start-up; the window is not shown.
    std::unique_ptr<gui::MainWindow> startWindow(gui::MonitorTiming timing = {});
    void addPlan(int id, int cls, const std::string& name, const std::string& url, int isdo);

    TempDir dir;
    RecordingDialogs dialogs;
    bool started = false;
};

}  // namespace tovi::test
