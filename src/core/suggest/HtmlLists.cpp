#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "core/suggest/AnchorTitles.h"
#include "core/suggest/ListQuality.h"
#include "core/suggest/Lists.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

constexpr std::size_t kMinAverageTitle = 10;  // letters: shorter link texts are menus and pagers
constexpr std::size_t kMinHeadingTitle = 6;   // letters, for titles in headings
constexpr std::size_t kShortLabel = 12;       // a short list of labels no longer than this is a menu
constexpr std::size_t kMaxRecordSpan = 4;     // sibling elements one record may take

// The part of a link before its first digit (or up to its last '/'): links of one kind share
// it ("thread-", "/news/", "show.php?id=").
std::string linkKind(std::string_view href) {
    std::size_t digit = href.find_first_of("0123456789");
    if (digit != std::string_view::npos) return std::string(href.substr(0, std::min<std::size_t>(digit, 40)));
    std::size_t slash = href.rfind('/');
    return slash == std::string_view::npos
               ? std::string()
               : std::string(href.substr(0, std::min(slash + 1, std::size_t{40})));
}

struct AnchorInfo {
    int element;
    std::string title;
    std::size_t weight;
    // Two ways of saying which link of a record it is: by where it sits (its class and its
    // parent's) and by what it is (its class and the kind of its link).
    std::string place, kind;
    int titleElement = -1;  // a card's: the heading or block inside the link that titles it
    bool heading = false;   // the title is (or is in) a heading
};

// An anchor within a heading, or a few levels below one (<h3><span><a>).
bool underHeading(const PageStructure& page, int element) {
    int e = page.elements[element].parent;
    for (int up = 0; up < 3 && e > 0; ++up, e = page.elements[e].parent)
        if (isHeading(page.elements[e].tag)) return true;
    return false;
}

// Every anchor of the page with a plain title (or a card's) and a real link, in page order:
// judged once for the page, as each anchor belongs to the lists of all its ancestors.
std::vector<AnchorInfo> titledAnchors(std::string_view text, const PageStructure& page) {
    std::vector<AnchorInfo> out;
    for (std::size_t k = 0; k < page.elements.size(); ++k) {
        const PageElement& a = page.elements[k];
        if (a.tag != "a" || !usableLink(a.href)) continue;
        auto title = anchorTitle(contentOf(text, a));
        int inner = -1;
        bool heading = underHeading(page, static_cast<int>(k));
        if (!title) {
            auto card = cardTitle(text, page, static_cast<int>(k));
            if (!card) continue;
            title = std::move(card->title);
            inner = card->element;
            heading = heading || card->heading;
        }
        const std::string cls = firstClass(a.className);
        const std::size_t weight = titleWeight(*title);
        out.push_back({static_cast<int>(k), std::move(*title), weight,
                       "p:" + cls + "|" + selector(page.elements[a.parent], false),
                       "k:" + cls + "|" + linkKind(a.href), inner, heading});
    }
    return out;
}

// A record: one element, or a run of sibling elements that together show one article.
struct Record {
    int first, last;
};

// Those titled anchors within a record, in page order.
std::pair<std::vector<AnchorInfo>::const_iterator, std::vector<AnchorInfo>::const_iterator> anchorsWithin(
    const PageStructure& page, const Record& r, const std::vector<AnchorInfo>& titled) {
    const int lastElement = page.elements[r.last].lastDescendant;
    auto from = std::lower_bound(titled.begin(), titled.end(), r.first,
                                 [](const AnchorInfo& a, int element) { return a.element < element; });
    auto to = std::upper_bound(from, titled.end(), lastElement,
                               [](int element, const AnchorInfo& a) { return element < a.element; });
    return {from, to};
}

// The title link of the records: the link at the same place (or of the same kind) in most of
// them whose text is long and whose texts and targets differ from record to record. Icons,
// numbers, page strips, authors and links every record repeats weigh little or nothing.
struct TitleKey {
    std::string key;
    std::size_t records = 0, weight = 0;
};

std::optional<TitleKey> titleKey(const PageStructure& page, const std::vector<Record>& records,
                                 const std::vector<AnchorInfo>& titled) {
    struct Tally {
        std::size_t records = 0, weight = 0, longest = 0, headings = 0;
        std::set<std::string_view> links;
    };
    std::map<std::string, Tally> tallies;
    for (const Record& r : records) {
        const auto [from, to] = anchorsWithin(page, r, titled);
        std::set<std::string_view> seen;
        for (auto a = from; a != to; ++a) {
            for (const std::string* key : {&a->place, &a->kind}) {
                if (!seen.insert(*key).second) continue;  // the first such link of the record
                Tally& t = tallies[*key];
                t.records++;
                t.weight += a->weight;
                t.longest = std::max(t.longest, a->weight);
                t.headings += a->heading ? 1 : 0;
                t.links.insert(page.elements[a->element].href);
            }
        }
    }
    // Distinct links make records articles: a title posted again (an ad, a repeated notice)
    // disqualifies nothing. Of two title links to one article, the one in a heading is the
    // title and a longer excerpt link is not.
    std::optional<TitleKey> best;
    bool bestInHeadings = false;
    for (const auto& [key, t] : tallies) {
        const std::size_t n = t.records;
        // A heading says it is a title: a shorter one still is.
        const bool inHeadings = t.headings * 2 >= n;
        const std::size_t shortest = inHeadings ? kMinHeadingTitle : kMinAverageTitle;
        if (n < 3 || n * 2 < records.size() || t.weight < shortest * n || t.links.size() * 5 < n * 4 ||
            (n <= 8 && t.longest <= kShortLabel))
            continue;
        if (!best ||
            std::tuple(inHeadings, t.weight, n) > std::tuple(bestInHeadings, best->weight, best->records)) {
            best = TitleKey{key, n, t.weight};
            bestInHeadings = inHeadings;
        }
    }
    return best;
}

// The record's opening tag as an expression starts it: its tag, and its class when the list
// is told apart by it.
std::string recordOpen(const PageElement& first, bool byClass) {
    const std::string cls = firstClass(first.className);
    return "<" + first.tag + R"(\b)" + (byClass && !cls.empty() ? classLookahead(cls) : "");
}

// How an expression reaches the title link a (the first record's) once inside the record that
// starts with element first (or, when the record is the link, how it opens), most general first.
std::vector<std::string> anchorHeads(const PageStructure& page, int first, const PageElement& a,
                                     bool titleIsFirst, bool byClass) {
    const bool recordIsAnchor = page.elements[first].tag == "a";
    const std::string anchorOpen = recordIsAnchor ? recordOpen(page.elements[first], byClass) : R"(<a\b)";
    std::vector<std::string> heads;
    if (titleIsFirst) heads.push_back(anchorOpen);
    const std::string anchorClass = firstClass(a.className);
    if (!anchorClass.empty() && isAscii(anchorClass))
        heads.push_back(anchorOpen + classLookahead(anchorClass));
    // A plain title link after classed ones (a "[section]" link before each title).
    if (!titleIsFirst && !recordIsAnchor && a.className.empty())
        heads.push_back(anchorOpen + R"((?![^>]*\sclass=))");
    const PageElement& up = page.elements[a.parent];
    const std::string upClass = firstClass(up.className);
    if (!recordIsAnchor && a.parent != first && !upClass.empty() && isAscii(upClass))
        heads.push_back("<" + up.tag + R"(\b)" + classLookahead(upClass) + R"([^>]*>[\s\S]*?)" + anchorOpen);
    const std::string prefix = linkKind(a.href);
    if (prefix.size() >= 2 && isAscii(prefix))
        heads.push_back(anchorOpen + R"((?=[^>]*\shref=["']?)" + regexEscape(prefix) + ")");
    return heads;
}

// A record's own number in the id of its first element ("thread3520449", "37933633"), when
// every record has a different one of at least three digits.
bool recordIds(const PageStructure& page, const std::vector<Record>& records, std::vector<std::string>& ids) {
    std::set<std::string> distinct;
    ids.clear();
    for (const Record& r : records) {
        const std::string_view id = page.elements[r.first].id;
        const std::size_t digit = id.find_first_of("0123456789");
        if (digit == std::string_view::npos) return false;
        const std::string_view rest = id.substr(digit);
        if (rest.size() < 3 || rest.size() > 18 ||
            rest.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        ids.emplace_back(rest);
        distinct.insert(ids.back());
    }
    return distinct.size() == records.size();
}

// The list's container as a reader finds it: a plain container (a tbody) by its parent too.
std::string containerName(const PageStructure& page, int parent) {
    const PageElement& p = page.elements[parent];
    std::string name = selector(p);
    if (name == p.tag && p.parent > 0) name = selector(page.elements[p.parent]) + " > " + name;
    return name;
}

// How an expression reaches a card's title inside its link: the heading by its tag, a block by
// its class too.
std::string titleOpenOf(const PageElement& e) {
    const std::string cls = firstClass(e.className);
    return "<" + e.tag + R"(\b)" +
           (!isHeading(e.tag) && !cls.empty() && isAscii(cls) ? classLookahead(cls) : "");
}

struct ListContext {
    std::string_view text;
    const PageStructure& page;
    const std::vector<AnchorInfo>& titled;
    std::string home;
};

std::optional<Shape> listShape(const ListContext& c, int parent, const std::vector<Record>& records,
                               bool byClass, const std::string& via = {}) {
    const PageStructure& page = c.page;
    const std::vector<AnchorInfo>& titled = c.titled;
    const auto key = titleKey(page, records, titled);
    if (!key) return std::nullopt;
    Shape shape;
    shape.parent = parent;
    shape.byClass = byClass;
    bool titleIsFirst = true;  // the title link is the first titled link of every record
    int titleElement = -1;     // the first item's card title
    std::size_t weight = 0;
    std::vector<Record> kept;
    for (const Record& r : records) {
        const auto [from, to] = anchorsWithin(page, r, titled);
        auto it = std::find_if(
            from, to, [&](const AnchorInfo& a) { return a.place == key->key || a.kind == key->key; });
        if (it == to) continue;
        if (it != from) titleIsFirst = false;
        const PageElement& a = page.elements[it->element];
        shape.items.push_back({page.elements[r.first].start,
                               page.elements[r.last].end,
                               it->element,
                               it->title,
                               std::string(a.href),
                               {}});
        if (kept.empty()) titleElement = it->titleElement;
        weight += it->weight;
        kept.push_back(r);
    }
    if (shape.items.size() < 3) return std::nullopt;
    std::vector<std::string> ids;
    if (page.elements[kept.front().first].tag != "a" && recordIds(page, kept, ids)) {
        for (std::size_t k = 0; k < ids.size(); ++k) shape.items[k].id = ids[k];
        shape.idInHead = true;
    }
    const ListTraits traits = judgeList(c.text, page, parent, shape.items, c.home);
    shape.score = static_cast<std::size_t>(static_cast<double>(weight) * traits.factor * 16);
    shape.doubt = traits.doubt;
    if (titleElement >= 0) {
        shape.titleOpen = titleOpenOf(page.elements[titleElement]);
        shape.titleTag = page.elements[titleElement].tag;
    }
    const PageElement& first = page.elements[kept.front().first];
    shape.structure = containerName(page, parent) + (via.empty() ? "" : " > " + via) + " > " +
                      (byClass ? selector(first, false) : first.tag);
    for (int e = kept.front().first + 1; e <= kept.front().last; ++e)
        if (page.elements[e].parent == parent) shape.structure += " + " + selector(page.elements[e], false);
    shape.recordOpen = first.tag == "a" ? "" : recordOpen(first, byClass);
    shape.expressionHeads = anchorHeads(page, kept.front().first, page.elements[shape.items.front().anchor],
                                        titleIsFirst, byClass);
    if (shape.expressionHeads.empty()) return std::nullopt;
    return shape;
}

std::string signature(const PageElement& e) {
    const std::string cls = firstClass(e.className);
    return isAscii(cls) ? e.tag + "." + cls : e.tag;
}

// Records of k sibling elements (a title row, a details row, a spacer row): an element kind
// that comes back every k siblings starts each.
std::vector<std::vector<Record>> siblingRuns(const PageStructure& page, const std::vector<int>& children) {
    std::map<std::string, std::vector<std::size_t>> at;
    for (std::size_t i = 0; i < children.size(); ++i) at[signature(page.elements[children[i]])].push_back(i);
    std::vector<std::vector<Record>> runs;
    for (const auto& [sig, positions] : at) {
        if (positions.size() < 3) continue;
        std::map<std::size_t, std::size_t> gaps;
        for (std::size_t k = 1; k < positions.size(); ++k) gaps[positions[k] - positions[k - 1]]++;
        const auto common = std::max_element(
            gaps.begin(), gaps.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
        const std::size_t span = common->first;
        if (span < 2 || span > kMaxRecordSpan || common->second * 5 < (positions.size() - 1) * 4) continue;
        std::vector<Record> records;
        for (std::size_t k = 0; k < positions.size(); ++k) {
            std::size_t last = std::min(positions[k] + span - 1, children.size() - 1);
            if (k + 1 < positions.size()) last = std::min(last, positions[k + 1] - 1);
            records.push_back({children[positions[k]], children[last]});
        }
        runs.push_back(std::move(records));
    }
    return runs;
}

// A list split into groups (a column of 40 items in 8 lists of 5): the items of sibling
// containers of one shape under one parent, two or three levels down, are one list. Each group
// must show articles itself, so that menus of the same shape elsewhere on the page never join.
void addGroupedLists(const ListContext& c, int parent, std::vector<Shape>& shapes) {
    const PageStructure& page = c.page;
    struct Groups {
        std::vector<Record> records;
        std::vector<int> containers;
        std::string via;
    };
    std::map<std::string, Groups> byPath;
    auto take = [&](const std::string& key, int container, int record, const std::string& via) {
        Groups& g = byPath[key];
        if (g.containers.empty() || g.containers.back() != container) g.containers.push_back(container);
        g.records.push_back({record, record});
        g.via = via;
    };
    for (int box : page.elements[parent].children) {
        const std::string boxName = signature(page.elements[box]);
        for (int list : page.elements[box].children) {
            const PageElement& l = page.elements[list];
            take(boxName + ">" + l.tag, box, list, boxName);
            const std::string listName = signature(l);
            for (int item : l.children)
                take(boxName + ">" + listName + ">" + page.elements[item].tag, box, item,
                     boxName + " > " + listName);
        }
    }
    for (const auto& [key, g] : byPath) {
        if (g.containers.size() < 2 || g.records.size() < 2 * g.containers.size()) continue;
        auto shape = listShape(c, parent, g.records, false, g.via);
        if (!shape) continue;
        const bool everyGroupShowsArticles =
            std::all_of(g.containers.begin(), g.containers.end(), [&](int box) {
                const PageElement& b = page.elements[box];
                std::size_t items = 0, weight = 0;
                for (const Item& item : shape->items)
                    if (item.start >= b.start && item.end <= b.end)
                        ++items, weight += titleWeight(item.title);
                return items >= 2 && weight >= kMinAverageTitle * items;
            });
        if (everyGroupShowsArticles) shapes.push_back(std::move(*shape));
    }
}

}  // namespace

std::vector<Shape> htmlLists(std::string_view text, const PageStructure& page) {
    const std::vector<AnchorInfo> titled = titledAnchors(text, page);
    const ListContext context{text, page, titled, homeDomain(page)};
    std::vector<Shape> shapes;
    auto add = [&](int parent, const std::vector<Record>& records, bool byClass) {
        if (records.size() < 3) return;
        if (auto s = listShape(context, parent, records, byClass)) shapes.push_back(std::move(*s));
    };
    for (std::size_t p = 0; p < page.elements.size(); ++p) {
        const auto& children = page.elements[p].children;
        if (children.size() >= 2) addGroupedLists(context, static_cast<int>(p), shapes);
        if (children.size() < 3) continue;
        std::map<std::string, std::vector<Record>> byTag, byTagClass;
        for (int c : children) {
            const PageElement& e = page.elements[c];
            byTag[e.tag].push_back({c, c});
            const std::string cls = firstClass(e.className);
            if (!cls.empty() && isAscii(cls)) byTagClass[e.tag + "." + cls].push_back({c, c});
        }
        for (const auto& [tag, records] : byTag) add(static_cast<int>(p), records, false);
        for (const auto& [tag, records] : byTagClass) add(static_cast<int>(p), records, true);
        for (const auto& records : siblingRuns(page, children)) {
            const bool byClass = !firstClass(page.elements[records.front().first].className).empty();
            add(static_cast<int>(p), records, byClass);
        }
    }
    return shapes;
}

}  // namespace tovi::suggest
