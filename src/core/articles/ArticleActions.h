#pragma once
// What the user does with a listed article: favourite on/off, open, details. They act on the
// row as shown (eight texts of table info), not on the database.
#include <optional>
#include <string>

#include "core/Result.h"
#include "core/articles/ArticleList.h"

namespace tovi {

class LoggedSql;

// "加入到收藏夹" for a row whose mark reads as 0, else "移出收藏夹".
std::string favouriteMenuCaption(const ArticleRow& row);

// Marks or unmarks the row's article, deciding as the menu caption does (the mark's integer
// value), so the action always does what the caption says. The status text replaces the log,
// followed by the statement's own report line: when it was stored "文章收藏成功！" or
// "已移出收藏夹！ 刷新收藏夹可见效果", when not "收藏失败！" (and the result fails with the
// engine's message); the same words again on the last line, which the one-line bar shows. A
// row without id is refused.
Result<std::string> toggleFavourite(LoggedSql& sql, const ArticleRow& row);

// "\r\nNO.id [plan] title（link）----time；状态：mark；备注：other"; nullopt for a row without id.
std::optional<std::string> articleDetailsLine(const ArticleRow& row);

// Only web links are handed to the browser: never a local path, a program or an empty text.
bool isOpenableLink(const std::string& url);
// "\r\n只能打开 http:// 或 https:// 开头的链接：" + url
std::string refusedLinkLine(const std::string& url);

}  // namespace tovi
