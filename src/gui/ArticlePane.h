#pragma once
// 右一框: the article list with its views (all, one plan, favourites, keyword), paging, the
// article menu and the actions on the selected row. Status texts go to the status box.
#include <QWidget>
#include <memory>

#include "core/articles/ArticleList.h"

class QAction;
class QMenu;

namespace tovi {
class Database;
class LoggedSql;
}  // namespace tovi

namespace tovi::gui {

class ArticleListWidget;
class StatusBox;

class ArticlePane : public QWidget {
    Q_OBJECT
public:
    // Queries run on db; the favourite mark goes through the logged path (echoed in status).
    ArticlePane(QWidget* parent, Database& db, LoggedSql& sql, StatusBox& status);
    ~ArticlePane() override;

    void applyLayout(const QRect& panel, const QRect& list, int titleColumnWidth);
    void applyListSettings(int rowHeight, std::uint32_t rowColor1, std::uint32_t rowColor2);

    // Views: each shows page 1 of its view.
    void showAll();         // 全部文章按钮: then the status reads "已刷新列表"
    void showFavourites();  // 收藏按钮
    void showPlan(int planId);
    void search(const QString& keyword);
    // All articles from page 1, as monitoring start and an acknowledged alert ask.
    void refresh();
    void nextPage();
    void previousPage();

    void toggleFavourite();
    void openSelected();
    void showSelectedDetails();

signals:
    // A page was loaded: the mini home page closes.
    void listLoaded();

private:
    void showView(const ArticleView& view);
    void showRows();
    void popupMenu(const QPoint& pos);

    StatusBox& m_status;
    LoggedSql& m_sql;
    std::unique_ptr<ArticleBrowser> m_browser;
    ArticleListWidget* m_list = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_favourite = nullptr;
};

}  // namespace tovi::gui
