#include "core/articles/ArticleActions.h"

#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
std::string favouriteMenuCaption(const ArticleRow& row) {
    return textToInt(cellOf(row, kInfoIssoucang)) == 0 ? gbk("加入到收藏夹") : gbk("移出收藏夹");
}

Result<std::string> toggleFavourite(LoggedSql& sql, const ArticleRow& row) {
    const std::string& id = cellOf(row, kInfoId);
    if (id.empty()) return Error{gbk("没有选中文章")};
    const bool add = textToInt(cellOf(row, kInfoIssoucang)) == 0;
    // The status says what happened, so the statement runs before it is written.
    const Statement statement = favouriteStatement(textToInt(id), add);
    const SqlResult marked = sql.database().run(statement);
    const std::string status = !marked.ok ? gbk("收藏失败！")
                               : add      ? gbk("文章收藏成功！")
                                          : gbk("已移出收藏夹！ 刷新收藏夹可见效果");
    sql.sink().replaceAll(status);
    sql.echo(statement.display(), marked);
    // The one-line status bar shows the newest line: the words, not the statement.
    sql.sink().append("\r\n" + status);
    if (!marked.ok) return Error{marked.error};
    return status;
}

std::optional<std::string> articleDetailsLine(const ArticleRow& row) {
    if (cellOf(row, kInfoId).empty()) return std::nullopt;
    return "\r\nNO." + cellOf(row, kInfoId) + " [" + cellOf(row, kInfoPlanname) + "] " +
           decodeEntities(cellOf(row, kInfoTitle)) + gbk("（") + browserLink(cellOf(row, kInfoUrl)) +
           gbk("）----") + cellOf(row, kInfoAddtime) + gbk("；状态：") + cellOf(row, kInfoIssoucang) +
           gbk("；备注：") + cellOf(row, kInfoOther);
}

bool isOpenableLink(const std::string& url) {
    std::string lower = asciiLower(trimSpaces(url));
    return (lower.rfind("http://", 0) == 0 && lower.size() > 7) ||
           (lower.rfind("https://", 0) == 0 && lower.size() > 8);
}

std::string refusedLinkLine(const std::string& url) {
    return gbk("\r\n只能打开 http:// 或 https:// 开头的链接：") + url;
}

}  // namespace tovi
