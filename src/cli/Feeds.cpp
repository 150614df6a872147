#include "cli/Feeds.h"

#include <unistd.h>

#include <fstream>

#include "core/articles/ArticleList.h"
#include "core/articles/AtomFeed.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/PlanRows.h"
#include "core/store/AtomicFile.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"
#include "core/text/Timestamp.h"

namespace tovi::cli {

std::string feedOf(Database& db, const ArticleView& view, int limit) {
    std::vector<ArticleRow> rows;
    for (std::int64_t page = 1; static_cast<int>(rows.size()) < limit; ++page) {
        auto more = loadArticlePage(db, view, page);
        if (more.empty()) break;
        for (auto& row : more)
            if (static_cast<int>(rows.size()) < limit) rows.push_back(std::move(row));
    }
    FeedInfo info;
    switch (view.kind) {
        case ArticleView::Kind::Plan: {
            const auto plan = readPlan(db, view.planId);
            info.title = gbk("Tovidesk：") +
                         (plan ? cellOf(*plan, kRuleName) : gbk("方案 ") + std::to_string(view.planId));
            info.id = "urn:tovidesk:plan:" + std::to_string(view.planId);
            break;
        }
        case ArticleView::Kind::Favourites:
            info.title = gbk("Tovidesk：收藏的文章");
            info.id = "urn:tovidesk:favourites";
            break;
        case ArticleView::Kind::Keyword:
            info.title = gbk("Tovidesk：搜索 ") + view.keyword;
            info.id = "urn:tovidesk:search";
            break;
        default:
            info.title = gbk("Tovidesk：全部文章");
            info.id = "urn:tovidesk:all";
    }
    return atomFeed(info, rows, Clock().now());
}

Result<> writeFeedDirectory(Database& db, const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    Result<> written = replaceFileAtomically(dir / "all.xml", feedOf(db, ArticleView::all(), 100));
    // A feed for each plan that has run (an empty one until it finds something: a reader gets a
    // feed, not a 404), none for a plan that never ran.
    const auto ran = loadPlanHealth(db);
    for (const std::int64_t id : planIds(db)) {
        if (!ran.count(static_cast<int>(id))) continue;
        Result<> plan = replaceFileAtomically(dir / ("plan-" + std::to_string(id) + ".xml"),
                                              feedOf(db, ArticleView::plan(id), 100));
        if (written && !plan) written = plan;
    }
    return written;
}

}  // namespace tovi::cli
