#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
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

// A program directory with a database of a few plans and 250 articles.
class GuiFixture : public ::testing::Test {
protected:
    void makeProgramDir(bool withDatabase = true);
    std::unique_ptr<gui::MainWindow> startWindow(PlanFetcher fetch = PlanExtractor::networkFetcher());
    void addPlan(int id, int cls, const std::string& name, const std::string& url, int isdo);

    TempDir dir;
    RecordingDialogs dialogs;
};

}  // namespace tovi::test
