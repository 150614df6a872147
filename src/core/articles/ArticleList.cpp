#include "core/articles/ArticleList.h"

#include "core/store/Database.h"
#include "core/store/LoggedSql.h"
#include "core/text/Gbk.h"

namespace tovi {

Statement articlePageStatement(const ArticleView& view, std::int64_t page) {
    if (page < 1) page = 1;
    std::int64_t offset = page > INT64_MAX / kArticlesPerPage ? INT64_MAX - kArticlesPerPage
                                                              : page * kArticlesPerPage - kArticlesPerPage;
    Statement s;
    switch (view.kind) {
        case ArticleView::Kind::All:
            s.sql = "select * from info where 1";
            break;
        case ArticleView::Kind::Favourites:
            s.sql = "select * from info where issoucang=1";
            break;
        case ArticleView::Kind::Plan:
            s.sql = "select * from info where planid=?";
            s.values.push_back(view.planId);
            break;
        case ArticleView::Kind::Keyword:
            // By what the list shows (references resolved), or by the text as stored; the words
            // as typed ("100%" finds "100%", not every title with "100").
            s.sql = "select * from info where gbk_contains(?, title) or gbk_contains(?, display_text(title))";
            s.values.push_back(view.keyword);
            s.values.push_back(view.keyword);
            break;
        case ArticleView::Kind::None:
            return s;
    }
    s.sql += " order by id desc LIMIT ?,100";
    s.values.push_back(offset);
    return s;
}

std::vector<ArticleRow> loadArticlePage(Database& db, const ArticleView& view, std::int64_t page) {
    if (view.kind == ArticleView::Kind::None) return {};
    SqlResult r = db.run(articlePageStatement(view, page));
    return r.ok ? std::move(r.rows) : std::vector<ArticleRow>{};
}

void ArticleBrowser::show(const ArticleView& view) {
    m_view = view;
    load(1);
}

void ArticleBrowser::load(std::int64_t page) {
    m_page = page < 1 ? 1 : page;
    m_rows = loadArticlePage(m_db, m_view, m_page);
}

std::string ArticleBrowser::nextPage() {
    load(m_page + 1);
    return gbk("已经下翻1页！当前页码：") + std::to_string(m_page) +
           gbk("，若列表为空，表示当前页码超出可用页数！");
}

std::string ArticleBrowser::previousPage() {
    if (m_page <= 1) return gbk("已经是第 1 页！");
    load(m_page - 1);
    return gbk("已经上翻1页！当前页码：") + std::to_string(m_page);
}

Statement favouriteStatement(std::int64_t articleId, bool on) {
    return Statement(on ? "update info set issoucang=1 where id=?" : "update info set issoucang=0 where id=?",
                     {articleId});
}

Result<> setFavourite(LoggedSql& sql, std::int64_t articleId, bool on) {
    SqlResult marked;
    sql.exec(favouriteStatement(articleId, on), &marked);
    return resultOf(marked);
}

}  // namespace tovi
