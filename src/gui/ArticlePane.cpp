#include "gui/ArticlePane.h"

#include <QMenu>

#include "core/articles/ArticleActions.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "gui/ArticleListWidget.h"
#include "gui/GuiText.h"
#include "gui/Links.h"
#include "gui/StatusBox.h"

namespace tovi::gui {

ArticlePane::ArticlePane(QWidget* parent, Database& db, LoggedSql& sql, StatusBox& status)
    : QWidget(parent), m_status(status), m_sql(sql), m_browser(std::make_unique<ArticleBrowser>(db)) {
    setObjectName(QStringLiteral("右一框"));
    m_list = new ArticleListWidget(this);
    connect(m_list, &QTableWidget::cellClicked, this, &ArticlePane::showSelectedDetails);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &ArticlePane::openSelected);
    connect(m_list, &ArticleListWidget::openRequested, this, &ArticlePane::openSelected);
    connect(m_list, &QWidget::customContextMenuRequested, this, &ArticlePane::popupMenu);

    m_menu = new QMenu(QStringLiteral("文章菜单"), this);
    m_menu->setObjectName(QStringLiteral("文章菜单"));
    m_favourite = m_menu->addAction(QStringLiteral("收藏文章"), this, &ArticlePane::toggleFavourite);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("上一页"), this, &ArticlePane::previousPage);
    m_menu->addAction(QStringLiteral("下一页"), this, &ArticlePane::nextPage);
}

ArticlePane::~ArticlePane() = default;

void ArticlePane::applyLayout(const QRect& panel, const QRect& list, int titleColumnWidth) {
    setGeometry(panel);
    m_list->setGeometry(list);
    m_list->setTitleWidth(titleColumnWidth);
}

void ArticlePane::applyListSettings(int rowHeight, std::uint32_t rowColor1, std::uint32_t rowColor2) {
    m_list->setRowHeight(rowHeight);
    m_list->applyRowColours(rowColor1, rowColor2);
}

void ArticlePane::showRows() {
    m_list->setRows(m_browser->rows());
    emit listLoaded();
}

void ArticlePane::showView(const ArticleView& view) {
    m_browser->show(view);
    showRows();
}

void ArticlePane::showAll() {
    showView(ArticleView::all());
    m_status.replaceGbk(gbk("已刷新列表"));
}

void ArticlePane::showFavourites() { showView(ArticleView::favourites()); }

void ArticlePane::showPlan(int planId) { showView(ArticleView::plan(planId)); }

void ArticlePane::search(const QString& keyword) { showView(ArticleView::search(g(keyword))); }

void ArticlePane::refresh() {
    emit listLoaded();
    m_status.appendGbk(gbk("\r\n迷你首页已关闭，可点左上角开关重新打开！"));
    showView(ArticleView::all());
}

void ArticlePane::nextPage() {
    std::string message = m_browser->nextPage();
    showRows();
    m_status.replaceGbk(message);
}

void ArticlePane::previousPage() {
    const std::int64_t before = m_browser->currentPage();
    std::string message = m_browser->previousPage();
    m_status.replaceGbk(message);
    if (m_browser->currentPage() != before) showRows();
}

void ArticlePane::popupMenu(const QPoint& pos) {
    ArticleRow row = m_list->selectedArticle();
    m_favourite->setEnabled(!row.empty());
    if (!row.empty()) m_favourite->setText(q(favouriteMenuCaption(row)));
    m_menu->popup(m_list->viewport()->mapToGlobal(pos) + QPoint(3, 3));
}

void ArticlePane::toggleFavourite() {
    ArticleRow row = m_list->selectedArticle();
    // The status box says how it went either way.
    if (!row.empty()) (void)tovi::toggleFavourite(m_sql, row);
}

void ArticlePane::openSelected() {
    ArticleRow row = m_list->selectedArticle();
    if (!row.empty()) openLink(browserLink(cellOf(row, kInfoUrl)), m_status);
}

void ArticlePane::showSelectedDetails() {
    if (auto line = articleDetailsLine(m_list->selectedArticle())) m_status.appendGbk(*line);
}

}  // namespace tovi::gui
