#pragma once
// The article list: 100 per page, newest first, in one of four views, with paging.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/store/Statement.h"

namespace tovi {

class Database;
struct SqlResult;
class LoggedSql;

struct ArticleView {
    enum class Kind { None, All, Plan, Favourites, Keyword };
    Kind kind = Kind::None;
    std::int64_t planId = 0;
    std::string keyword;  // GBK, exactly as typed; % and _ stay wildcards

    static ArticleView all() { return {Kind::All, 0, {}}; }
    static ArticleView plan(std::int64_t id) { return {Kind::Plan, id, {}}; }
    static ArticleView favourites() { return {Kind::Favourites, 0, {}}; }
    static ArticleView search(std::string keyword) { return {Kind::Keyword, 0, std::move(keyword)}; }
};

// One row of table info, eight texts in column order.
using ArticleRow = std::vector<std::string>;

constexpr int kArticlesPerPage = 100;

// The page query of a view; the keyword view matches whole GBK characters (gbk_like).
Statement articlePageStatement(const ArticleView& view, std::int64_t page);

// A page of articles; no view chosen yet (or a failing query) gives no rows.
std::vector<ArticleRow> loadArticlePage(Database& db, const ArticleView& view, std::int64_t page);

// The list's current view and page, and the status texts paging replaces the log with.
class ArticleBrowser {
public:
    explicit ArticleBrowser(Database& db) : m_db(db) {}

    const ArticleView& view() const { return m_view; }
    std::int64_t currentPage() const { return m_page; }
    const std::vector<ArticleRow>& rows() const { return m_rows; }

    // Switches view and shows its page 1.
    void show(const ArticleView& view);
    void load(std::int64_t page);
    // "下一页": the status text to show ("已经下翻1页！当前页码：…").
    std::string nextPage();
    // "上一页": on page 1 (or before any load) "已经是第 1 页！" and no query.
    std::string previousPage();

private:
    Database& m_db;
    ArticleView m_view;
    std::int64_t m_page = 0;
    std::vector<ArticleRow> m_rows;
};

// Favourite on/off: "update info set issoucang=1 where id=…"; set through the logged SQL path
// (the statement and its result are echoed), failing with the engine's message.
Statement favouriteStatement(std::int64_t articleId, bool on);
Result<> setFavourite(LoggedSql& sql, std::int64_t articleId, bool on);

}  // namespace tovi
