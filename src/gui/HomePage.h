#pragma once
// The mini home page (网页框) over the list area, and its toggle button (迷你首页). It shows
// at start-up; every list load closes it.
#include <QTextBrowser>

class QToolButton;

namespace tovi::gui {

class HomePage : public QTextBrowser {
    Q_OBJECT
public:
    explicit HomePage(QWidget* window);
    void applyLayout(const QRect& area);
    // The toggle released and the page hidden.
    void closePage();
    bool covering() const;

signals:
    // The page now covers the list (or no longer does).
    void coveringChanged(bool covering);

private:
    void toggled(bool shown);
    QToolButton* m_toggle = nullptr;
};

}  // namespace tovi::gui
