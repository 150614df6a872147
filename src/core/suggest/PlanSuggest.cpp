#include "core/suggest/PlanSuggest.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <chrono>
#include <optional>
#include <set>
#include <tuple>

#include "core/monitor/Judge.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanTestRun.h"
#include "core/net/Decode.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/Encoding.h"
#include "core/net/Renderer.h"
#include "core/net/Url.h"
#include "core/suggest/HtmlTree.h"
#include "core/suggest/JsonPlans.h"
#include "core/suggest/LinkPatterns.h"
#include "core/suggest/Lists.h"
#include "core/suggest/Markers.h"
#include "core/suggest/PageStructure.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

using namespace suggest;

constexpr std::size_t kMaxShapesProved = 6;
constexpr std::size_t kMaxCandidates = 5;
// The proofs together may take this long; a page built to make matching slow gets no proposal.
constexpr std::chrono::seconds kProofBudget{10};
// A list page is rarely above a megabyte or two; reading one takes some 15 times its size in
// memory, so larger pages are refused with the reason rather than read.
constexpr std::size_t kMaxAnalysedBytes = 8u << 20;

// Dates in the items, compared as written (year, month, day, hour, minute).
bool datesAscend(std::string_view text, const std::vector<Item>& items) {
    static const boost::regex date(gbk(
        R"(((?:19|20)[0-9]{2})[-/.年]([0-9]{1,2})[-/.月]([0-9]{1,2})(?:日)?(?:\s+([0-9]{1,2}):([0-9]{2}))?)"));
    std::vector<long long> keys;
    for (const Item& item : items) {
        const std::string_view s = text.substr(item.start, item.end - item.start);
        boost::match_results<std::string_view::const_iterator> m;
        if (!boost::regex_search(s.begin(), s.end(), m, date)) continue;
        auto num = [&](int g) { return m[g].matched ? std::stoll(m.str(g)) : 0LL; };
        keys.push_back(((((num(1) * 100 + num(2)) * 100 + num(3)) * 100 + num(4)) * 100) + num(5));
    }
    if (keys.size() * 5 < items.size() * 4) return false;
    return std::is_sorted(keys.begin(), keys.end()) && keys.front() < keys.back();
}

std::string pageName(std::string_view text, const PageStructure& page, bool feed) {
    for (const PageElement& e : page.elements) {
        if (e.tag != "title") continue;
        if (feed && e.parent >= 0 && page.elements[e.parent].tag != "channel" &&
            page.elements[e.parent].tag != "feed")
            continue;
        std::string name = trimSpaces(feed ? feedText(contentOf(text, e)) : std::string(contentOf(text, e)));
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
        std::size_t cut = 0;
        while (cut < name.size() && cut < 60) cut += gbkCharLength(name, cut);
        return name.substr(0, cut);
    }
    return {};
}

// Where an expression takes the article id from: the link, the record's id attribute, or nowhere.
enum class IdFrom { None, Link, Record };

// The expression for a shape with one of its heads, and the groups of title, link and id.
struct Built {
    std::string expression;
    int titleGroup = 0, linkGroup = 0, idGroup = 0;
};

Built buildExpression(const Shape& shape, const std::string& head, IdFrom idFrom, const std::string& link) {
    Built b;
    if (!shape.feed) {
        std::string record;
        if (!shape.recordOpen.empty()) {
            const std::string idAttribute = R"((?=[^>]*?\sid=["']?[^"'\s>0-9]*([0-9]+)))";
            record = shape.recordOpen + (idFrom == IdFrom::Record ? idAttribute : "") + R"([^>]*>[\s\S]*?)";
        }
        // A card's title is the heading (or block) inside its link, reached without leaving the link.
        const std::string title = shape.titleOpen.empty()
                                      ? kAnchorTitle
                                      : R"((?:(?!</a>)[\s\S])*?)" + shape.titleOpen + R"([^>]*>)" +
                                            titleUpTo("</" + shape.titleTag + ">");
        b.expression = record + head + R"([^>]*?\shref=["']?)" + link + R"([^>]*>)" + title;
        switch (idFrom) {
            case IdFrom::Record:
                b.idGroup = 1, b.linkGroup = 2, b.titleGroup = 3;
                break;
            case IdFrom::Link:
                b.linkGroup = 1, b.idGroup = 2, b.titleGroup = 3;
                break;
            case IdFrom::None:
                b.linkGroup = 1, b.titleGroup = 2;
                break;
        }
        return b;
    }
    const bool idLink = idFrom == IdFrom::Link;
    const std::string title = R"(<title\b[^>]*>)" + kFeedText + "</title>";
    const std::string linkPart =
        shape.atom ? R"(<link\b(?![^>]*\srel=["'](?!alternate["']))[^>]*?\shref=["']?)" + link
                   : R"(<link\b[^>]*>\s*(?:<!\[CDATA\[)?\s*)" + link;
    if (shape.linkFirst) {
        b.expression = head + R"([\s\S]*?)" + linkPart + R"([\s\S]*?)" + title;
        b.linkGroup = 1;
        b.idGroup = idLink ? 2 : 0;
        b.titleGroup = idLink ? 3 : 2;
    } else {
        b.expression = head + R"([\s\S]*?)" + title + R"([\s\S]*?)" + linkPart;
        b.titleGroup = 1;
        b.linkGroup = 2;
        b.idGroup = idLink ? 3 : 0;
    }
    return b;
}

// The plan test on the same page must find exactly the shape's items, with their links as
// they are kept.
// The same characters: a GB18030 page may write one (its euro sign, A2 E3) in bytes the
// expression gives back in GBK's own form (80).
bool sameText(const std::string& a, const std::string& b) { return a == b || gbkToUtf8(a) == gbkToUtf8(b); }

bool proves(const PlanTestResult& tested, const Shape& shape, const Built& built,
            const std::vector<std::string>& links, const std::vector<std::string>& ids) {
    if (tested.outcome != PlanTestResult::Outcome::Matches || tested.rows.size() != shape.items.size())
        return false;
    for (std::size_t k = 0; k < shape.items.size(); ++k) {
        const auto& row = tested.rows[k];
        if (!sameText(articleTitle(row[built.titleGroup]), shape.items[k].title) ||
            !sameText(row[built.linkGroup], links[k]))
            return false;
        if (built.idGroup && !sameText(row[built.idGroup], ids[k])) return false;
    }
    return true;
}

// The end of the page's body as an end marker, when it comes after the list.
std::optional<std::string> pageEnd(std::string_view text, std::size_t blockEnd) {
    for (const char* end : {"</body>", "</BODY>", "</html>", "</HTML>"})
        if (text.find(end, blockEnd) != std::string_view::npos) return std::string(end);
    return std::nullopt;
}

std::optional<PlanSuggestion> propose(const std::string& url, const FetchResult& page, std::string_view text,
                                      const PageStructure& structure, const Shape& shape, bool gbkPage,
                                      const std::string& name, const std::string& baseUrl,
                                      const CancelCheck& cancel) {
    const std::size_t blockStart = shape.items.front().start, blockEnd = shape.items.back().end;
    const PageElement& container = structure.elements[shape.parent];
    // Markers come from the structure around the list; where none lasts, the whole page is the
    // region and the expression, which starts at the records' own tags, finds only them.
    auto before = markerBefore(text, blockStart, container.openEnd);
    auto after =
        before ? markerAfter(text, before->regionStart, blockEnd, container.closeStart) : std::nullopt;
    if (!before || !after) {
        before = Marker{"", 0};
        after = pageEnd(text, blockEnd);
        if (!after) return std::nullopt;
    }
    // Links as they stay while the page changes; the article id they or their records carry.
    const LinkForm form = shape.feed ? LinkForm{} : linkFormFor(shape.items);
    std::vector<std::string> ids;
    const auto idLink = idLinkPattern(shape.items, form, ids);
    IdFrom idFrom = idLink ? IdFrom::Link : IdFrom::None;
    if (!idLink && shape.idInHead) {
        idFrom = IdFrom::Record;
        for (const Item& item : shape.items) ids.push_back(item.id);
    }
    const JudgeMode mode = idFrom != IdFrom::None           ? JudgeMode::CompareArticleId
                           : datesAscend(text, shape.items) ? JudgeMode::TimeAscending
                                                            : JudgeMode::TimeDescending;
    std::vector<std::string> kept;
    for (const Item& item : shape.items) kept.push_back(keptLink(item.link, form));
    const DirectFetcher samePage = [&page](const std::string&, const std::string&, const std::string&,
                                           const CancelCheck&) { return page; };
    for (const std::string& head : shape.expressionHeads) {
        if (cancel && cancel()) return std::nullopt;
        const Built built = buildExpression(shape, head, idFrom, idLink ? *idLink : linkGroup(form));
        PlanSuggestion s;
        PlanFields& f = s.fields;
        f.code = gbkPage ? "1" : "0";
        f.url = url;
        f.before = storedMarker(before->text);
        f.after = storedMarker(*after);
        f.regular = built.expression;
        f.buquan = browserUrlTemplate(baseUrl, kept, built.linkGroup);
        f.browserLinks = true;
        f.tindex = std::to_string(built.titleGroup);
        f.uindex = std::to_string(built.idGroup);
        f.oindex = std::to_string(built.linkGroup);
        f.ua = kEditorDefaultUserAgent;
        f.name = name;
        f.type = static_cast<int>(mode);
        PlanTestResult tested =
            runPlanTest({f.regular, f.url, gbkPage, f.before, f.after, f.cookie, f.ua}, samePage, cancel);
        if (!proves(tested, shape, built, kept, ids)) continue;
        s.structure = shape.structure;
        s.doubt = shape.doubt;
        s.count = tested.rows.size();
        for (TestedArticle& a : testedArticles(tested, built.titleGroup, built.idGroup, f.buquan, baseUrl)) {
            s.titles.push_back(std::move(a.title));
            s.links.push_back(std::move(a.url));
        }
        s.sampleTitles.assign(s.titles.begin(), s.titles.begin() + std::min<std::size_t>(3, s.titles.size()));
        s.tested = std::move(tested);
        return s;
    }
    return std::nullopt;
}

}  // namespace

namespace {

SuggestResult suggestUnguarded(const std::string& url, const FetchResult& page, const CancelCheck& cancel,
                               const SuggestProgress& progress) {
    SuggestResult r;
    // The whole suggestion, reading included, keeps to the budget.
    const auto deadline = std::chrono::steady_clock::now() + kProofBudget;
    const CancelCheck bounded = [&cancel, deadline] {
        return (cancel && cancel()) || std::chrono::steady_clock::now() > deadline;
    };
    r.fetchError = page.error;
    if (Result<> allowed = checkWebUrl(url); !allowed) {
        r.problem = allowed.error();
        return r;
    }
    // An error page is no list, whatever it holds.
    if (page.status >= 400) {
        r.problem = gbk("网页打不开（HTTP ") + std::to_string(page.status) + gbk("），请检查网址");
        return r;
    }
    if (page.body.empty()) {
        r.problem =
            gbk("页面没有取到内容") + (page.error.empty() ? "" : gbk("：") + wireTextToGbk(page.error));
        r.fetchError.clear();  // the reason says it already: shown once
        return r;
    }
    if (page.body.size() > kMaxAnalysedBytes) {
        r.problem = gbk("页面有 ") + std::to_string((page.body.size() + (1u << 20) - 1) >> 20) +
                    gbk(" MB，超过自动识别能分析的 ") + std::to_string(kMaxAnalysedBytes >> 20) +
                    gbk(" MB，请手工编写方案");
        return r;
    }
    if (progress) progress(gbk("正在分析页面（") + std::to_string(page.body.size()) + gbk(" 字节）"));
    const DetectedEncoding encoding = detectEncoding(page.body, page.contentType);
    r.encodingReason = encoding.reason;
    std::string text = decodeBody(page.body, encoding.gbk);
    cleanSourceInPlace(text);
    const bool feed = looksLikeFeed(text);
    const PageStructure structure = feed ? scanPage(text, true, bounded) : parseHtml(text, bounded);
    if (bounded()) {
        r.problem = gbk("页面太大或太复杂，10 秒内没有读完");
        return r;
    }
    // Each list with the structure it was read from: the page's, or markup the page hides.
    std::vector<PageStructure> hidden;
    std::vector<std::pair<Shape, const PageStructure*>> shapes;
    for (Shape& s : feed ? feedLists(text, structure) : htmlLists(text, structure))
        shapes.emplace_back(std::move(s), &structure);
    const auto undoubted = [&] {
        return std::any_of(shapes.begin(), shapes.end(), [](const auto& s) { return s.first.doubt.empty(); });
    };
    if (!feed && !undoubted()) {
        hidden = hiddenStructures(text, bounded);
        for (const PageStructure& h : hidden)
            for (Shape& s : htmlLists(text, h)) shapes.emplace_back(std::move(s), &h);
    }
    // A list that looks like a menu or ads never ranks above one that does not.
    std::stable_sort(shapes.begin(), shapes.end(), [](const auto& x, const auto& y) {
        const Shape &a = x.first, &b = y.first;
        return std::tuple(a.doubt.empty(), a.score, a.byClass) >
               std::tuple(b.doubt.empty(), b.score, b.byClass);
    });
    if (progress) progress(gbk("找到 ") + std::to_string(shapes.size()) + gbk(" 个可能的列表，正在逐个验证"));
    const std::string name = pageName(text, structure, feed);
    const std::string base = pageBase(url, text);
    // Where each proposal's list is and its title links.
    struct Taken {
        const PageStructure* structure;
        int parent;
        std::set<int> anchors;
    };
    std::vector<Taken> taken;
    std::size_t proved = 0;
    for (const auto& [shape, from] : shapes) {
        if (r.candidates.size() >= kMaxCandidates || proved >= kMaxShapesProved || bounded()) break;
        std::set<int> anchors;
        for (const Item& item : shape.items) anchors.insert(item.anchor);
        // The same links again, or a part of a list already proposed seen from another level.
        const bool repeated = std::any_of(taken.begin(), taken.end(), [&](const Taken& t) {
            return t.structure == from &&
                   (t.anchors == anchors ||
                    (t.parent != shape.parent &&
                     std::includes(t.anchors.begin(), t.anchors.end(), anchors.begin(), anchors.end())));
        });
        if (repeated) continue;
        ++proved;
        if (auto s = propose(url, page, text, *from, shape, encoding.gbk, name, base, bounded)) {
            r.candidates.push_back(std::move(*s));
            taken.push_back({from, shape.parent, std::move(anchors)});
        }
    }
    if (r.candidates.empty()) r.problem = gbk("页面上没有找到文章列表（至少 3 个带标题链接的重复条目）");
    return r;
}

}  // namespace

SuggestResult suggestPlans(const std::string& url, const FetchResult& page, const CancelCheck& cancel,
                           const SuggestProgress& progress) {
    // No page may end the program: whatever a library throws becomes the reason.
    try {
        return suggestUnguarded(url, page, cancel, progress);
    } catch (const std::exception& e) {
        SuggestResult r;
        r.problem = gbk("分析页面时出错：") + Database::shortenError(e.what());
        return r;
    } catch (...) {
        SuggestResult r;
        r.problem = gbk("分析页面时出错");
        return r;
    }
}

namespace {

// Nothing on the page that is a list of articles, but scripts that may build one.
bool needsBrowser(const SuggestResult& plain, const FetchResult& page) {
    if (page.status >= 400 || page.body.empty() || !plain.fetchError.empty()) return false;
    const bool listed = std::any_of(plain.candidates.begin(), plain.candidates.end(),
                                    [](const PlanSuggestion& s) { return s.doubt.empty(); });
    return !listed && asciiLower(page.body).find("<script") != std::string::npos;
}

}  // namespace

SuggestResult suggestPlansFromUrl(const std::string& url, const std::string& cookie,
                                  const std::string& userAgent, const CancelCheck& cancel,
                                  const SuggestProgress& progress) {
    // What the plan test would refuse to fetch is refused here too.
    if (auto refused = refuseFetch(url, cookie, userAgent)) {
        SuggestResult r;
        r.problem = refused->message;
        return r;
    }
    if (progress) progress(gbk("正在获取页面：") + url);
    const FetchResult page = fetchForTest(url, cookie, "User-Agent: " + userAgent, cancel);
    if (page.cancelled) return {};
    SuggestResult plain = suggestPlans(url, page, cancel, progress);
    if (!needsBrowser(plain, page) || !browserMissing().empty()) return plain;
    if (progress) progress(gbk("页面上的列表由脚本生成，正在用浏览器渲染"));
    RenderLimits limits;
    limits.keepRequests = true;  // the request behind the list may make the browser unneeded
    Renderer renderer(limits);
    const RenderedPage rendered = renderer.render({url, cookie, userAgent}, cancel);
    if (rendered.page.cancelled || !rendered.page.error.empty() || rendered.page.body.empty()) return plain;
    SuggestResult built = suggestPlans(url, rendered.page, cancel, progress);
    if (built.candidates.empty()) return plain;
    for (PlanSuggestion& s : built.candidates) s.fields.render = true;
    built.note = gbk("页面由脚本生成，已用浏览器渲染");
    // The request the list came from, read directly, comes first: it needs no browser.
    if (auto direct = directJsonPlan(built.candidates.front(), rendered.requests, cancel)) {
        direct->fields.cookie = built.candidates.front().fields.cookie;
        built.candidates.insert(built.candidates.begin(), std::move(*direct));
        built.note =
            gbk("页面由脚本生成，已用浏览器渲染；列表来自它读取的数据地址，第 1 "
                "个方案直接读取该地址，不需要浏览器");
    }
    return built;
}

}  // namespace tovi