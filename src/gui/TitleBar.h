#pragma once
// The title bar: program icon, product name (or alias), the keyword box and the three square
// buttons. A drag on it moves the window (the window handles presses that reach it), a
// double-click maximises or restores.
#include <QLineEdit>
#include <QWidget>

class QLabel;
class QToolButton;

namespace tovi::gui {

struct MainLayout;

// The keyword box: shows its hint while empty and unfocused, empties on a double-click.
class SearchBox : public QLineEdit {
    Q_OBJECT
public:
    static const QString& hint();
    explicit SearchBox(QWidget* parent);

signals:
    void focused();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

class TitleBar : public QWidget {
    Q_OBJECT
public:
    explicit TitleBar(QWidget* window);

    void setProductName(const QString& name);
    // Places itself and the window's three buttons.
    void applyLayout(const MainLayout& layout);

signals:
    void searchRequested(const QString& keyword);
    void searchFocused();
    void minimiseRequested();
    void closeRequested();
    void menuRequested();
    void maximiseToggled();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QLabel* m_name = nullptr;
    SearchBox* m_search = nullptr;
    QToolButton* m_minimise = nullptr;
    QToolButton* m_close = nullptr;
    QToolButton* m_settings = nullptr;
};

}  // namespace tovi::gui
