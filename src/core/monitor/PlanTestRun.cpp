#include "core/monitor/PlanTestRun.h"

#include "core/monitor/Judge.h"
#include "core/monitor/Pipeline.h"
#include "core/net/Decode.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/Encoding.h"
#include "core/net/Renderer.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {

const char* const kBlockedSiteKeyword = "tovidesk-blocked.invalid";

std::optional<FetchRefusal> refuseFetch(const std::string& url, const std::string& cookie,
                                        const std::string& userAgent) {
    using Outcome = PlanTestResult::Outcome;
    // An empty address is the address's fault, not the markers' the empty page would seem to be.
    if (trimSpaces(url).empty())
        return FetchRefusal{Outcome::RefusedInput, gbk("监控网址不能为空，请先填写要监控的网页地址!")};
    if (gbkContains(url, kBlockedSiteKeyword))
        return FetchRefusal{Outcome::BlockedSite, gbk("此站不允许监控!")};
    if (Result<> allowed = checkWebUrl(url); !allowed)
        return FetchRefusal{Outcome::RefusedInput, allowed.error()};
    if (hasLineBreak(url) || hasLineBreak(cookie) || hasLineBreak(userAgent))
        return FetchRefusal{Outcome::RefusedInput,
                            gbk("监控网址、COOKIE 和 模拟浏览 中不能有换行符，请删去后再测试!")};
    return std::nullopt;
}

std::optional<PlanTestResult> refusePlanTest(const PlanTestInput& input) {
    PlanTestResult r;
    r.errorIcon = true;
    if (input.expression.empty()) {
        r.outcome = PlanTestResult::Outcome::EmptyExpression;
        r.message = gbk("正则匹配规则不能为空!");
    } else if (auto refused = refuseFetch(input.url, input.cookie, input.userAgent)) {
        r.outcome = refused->outcome;
        r.message = refused->message;
    } else {
        return std::nullopt;
    }
    return r;
}

PlanTestResult runPlanTest(const PlanTestInput& input, const DirectFetcher& fetch,
                           const CancelCheck& cancel) {
    using Outcome = PlanTestResult::Outcome;
    if (auto refused = refusePlanTest(input)) return *refused;
    PlanTestResult r;
    FetchResult fetched = fetch(input.url, input.cookie, "User-Agent: " + input.userAgent, cancel);
    if (fetched.cancelled) {
        r.outcome = Outcome::Cancelled;
        return r;
    }
    r.fetchError = fetched.error;
    const long status = r.httpStatus = fetched.status;
    // The site said the page is not there (or failed): that, not the markers, is the reason.
    auto httpError = [&] {
        r.outcome = Outcome::EmptyCut;
        r.errorIcon = true;
        r.message = gbk("网页打不开（HTTP ") + std::to_string(status) + gbk("），请检查监控网址！");
        r.cutText = r.message;
        return r;
    };
    if (!fetched.body.empty()) {
        const DetectedEncoding found = detectEncoding(fetched.body, fetched.contentType);
        if (found.gbk != input.pageIsGbk)
            r.encodingNote = gbk("注意：页面是 ") + (found.gbk ? "GBK" : "UTF-8") + gbk(" 编码（依据 ") +
                             found.reason + gbk("），方案按 ") + (input.pageIsGbk ? "GBK" : "UTF-8") +
                             gbk(" 读取，标题会是乱码；请") + (found.gbk ? gbk("勾选") : gbk("取消勾选")) +
                             gbk(" gbk编码");
    }
    std::string region = textBetween(cleanSource(decodeBody(std::move(fetched.body), input.pageIsGbk)),
                                     input.before, input.after);
    r.cutShown = true;
    if (region.empty() && status >= 400) return httpError();
    if (region.empty()) {
        r.outcome = Outcome::EmptyCut;
        r.cutText = gbk("出错！截取源码为空，请检查方案的采集区域！");
        return r;
    }
    r.cutText = region;
    MatchLimits limits;
    limits.cancel = cancel;
    limits.budget = kPlanTestMatchBudget;
    MatchResult matched = matchAll(input.expression, region, limits);
    if (matched.cancelled) {
        r.outcome = Outcome::Cancelled;
        return r;
    }
    if (matched.overBudget) {
        r.outcome = Outcome::NoMatches;
        r.message = gbk("匹配超过 10 秒仍未完成，请简化正则匹配规则!");
        return r;
    }
    r.groupCount = matched.error.empty() ? matched.groupCount : 0;
    if (matched.matches.empty() && status >= 400) return httpError();
    if (matched.matches.empty()) {
        r.outcome = Outcome::NoMatches;
        r.message = gbk("匹配结果为0,请检查正则匹配规则!");
        if (!matched.error.empty()) r.message += "\r\n\r\n" + matched.error;
        return r;
    }
    r.outcome = Outcome::Matches;
    r.unlocksEditor = true;
    for (int k = 0; k <= r.groupCount; ++k) r.columns.push_back(gbk("索引 ") + std::to_string(k));
    for (const Match& m : matched.matches) {
        std::vector<std::string> row;
        for (int k = 0; k <= r.groupCount; ++k) row.push_back(groupText(m, k));
        r.rows.push_back(std::move(row));
    }
    r.message = gbk("成功取到　") + std::to_string(matched.matches.size()) + gbk("条文章！");
    return r;
}

PlanTestResult runPlanTest(const PlanTestInput& input, const CancelCheck& cancel) {
    return runPlanTest(
        input,
        [](const std::string& url, const std::string& cookie, const std::string& headers,
           const CancelCheck& c) { return fetchForTest(url, cookie, headers, c); },
        cancel);
}

PlanTestResult runRenderedPlanTest(PlanTestInput input, const CancelCheck& cancel) {
    input.pageIsGbk = false;
    Renderer renderer;
    return runPlanTest(
        input,
        [&](const std::string& url, const std::string& cookie, const std::string&, const CancelCheck& c) {
            // Without a browser the renderer says what to install.
            return renderer.render({url, cookie, input.userAgent}, c).page;
        },
        cancel);
}

std::vector<TestedArticle> testedArticles(const PlanTestResult& tested, std::int64_t titleGroup,
                                          std::int64_t idGroup, const std::string& urlTemplate,
                                          const std::string& linkBase, bool jsonText) {
    std::vector<TestedArticle> out;
    Match m;
    for (const auto& row : tested.rows) {
        m.groups = row;
        if (jsonText) m = jsonStringsRead(std::move(m));
        out.push_back({articleTitle(groupText(m, titleGroup)), groupText(m, idGroup),
                       articleUrl(urlTemplate, m, linkBase)});
    }
    return out;
}

std::vector<std::string> articleWarnings(const std::vector<TestedArticle>& articles) {
    int empty = 0, digits = 0, markup = 0, badLink = 0;
    for (const TestedArticle& a : articles) {
        const std::string title = trimSpaces(a.title);
        if (title.empty())
            ++empty;
        else if (title.find_first_not_of("0123456789,. ") == std::string::npos)
            ++digits;
        if (title.find_first_of("<>") != std::string::npos || title.find("=\"") != std::string::npos)
            ++markup;
        if (a.url.find_first_of("\"< \t\r\n") != std::string::npos) ++badLink;
    }
    std::vector<std::string> warnings;
    const auto say = [&](int count, const char* what) {
        if (count) warnings.push_back(std::to_string(count) + gbk(what));
    };
    say(empty, " 篇的标题是空的（取到的可能是图标链接）");
    say(digits, " 篇的标题只有数字（取到的可能是回复数或页码）");
    say(markup, " 篇的标题里有网页标记（分组取多了）");
    say(badLink, " 篇的链接里有引号、< 或空格（链接分组越过了属性）");
    return warnings;
}

}  // namespace tovi
