#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "core/suggest/Lists.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

constexpr std::size_t kMinAverageTitle = 10;  // letters: shorter link texts are menus and pagers
constexpr std::size_t kShortLabel = 12;       // a short list of labels no longer than this is a menu
constexpr std::size_t kMaxRecordSpan = 4;     // sibling elements one record may take

// One piece of an anchor's content: a tag (its lower-case name, whether it closes) or text.
struct ContentToken {
    bool tag = false, closing = false;
    std::string name;
    std::string_view text;
};


// The content as tags and texts, in one pass; nullopt for a '<' that starts no tag.
std::optional<std::vector<ContentToken>> contentTokens(std::string_view content) {
    std::vector<ContentToken> tokens;
    for (std::size_t i = 0; i < content.size();) {
        if (content[i] != '<') {
            const std::size_t lt = std::min(content.find('<', i), content.size());
            tokens.push_back({false, false, {}, content.substr(i, lt - i)});
            i = lt;
            continue;
        }
        const std::size_t gt = content.find('>', i);
        if (gt == std::string_view::npos) return std::nullopt;
        ContentToken t{true, content.substr(i + 1, 1) == "/", {}, {}};
        std::size_t n = i + (t.closing ? 2 : 1);
        while (n < gt && std::isalnum(static_cast<unsigned char>(content[n])))
            t.name += static_cast<char>(std::tolower(static_cast<unsigned char>(content[n++])));
        if (t.name.empty()) return std::nullopt;
        tokens.push_back(std::move(t));
        i = gt + 1;
    }
    return tokens;
}

// The title an anchor's content gives, as the proposed expression reads it: after simple inline
// wrappers, an icon or a short label at its start, before the wrappers' closing tags at its end,
// the text with the inline tags in it left out ("含<b>粗体</b>标签"). nullopt when the content
// holds anything else. Linear in the content, whatever it holds.
std::optional<std::string> anchorTitle(std::string_view content) {
    static const std::set<std::string, std::less<>> wrappers = {"font", "b", "strong", "em",
                                                                "span", "i", "u",      "small"};
    auto tokens = contentTokens(content);
    if (!tokens) return std::nullopt;
    const auto& t = *tokens;
    // The last text that is not blank: nothing of the title comes after it.
    std::size_t lastText = t.size();
    for (std::size_t k = t.size(); k-- > 0;)
        if (!t[k].tag && !isBlank(t[k].text)) {
            lastText = k;
            break;
        }
    if (lastText == t.size()) return std::nullopt;
    // At the start: blanks, wrappers, icons and short labels (<span>New</span>) before more text.
    std::size_t from = 0;
    for (; from < lastText; ++from) {
        const ContentToken& tok = t[from];
        if (!tok.tag) {
            if (!isBlank(tok.text)) break;
            continue;
        }
        if (tok.closing || !(wrappers.count(tok.name) || tok.name == "img")) return std::nullopt;
        const bool label = (tok.name == "span" || tok.name == "em") && from + 2 < lastText && !t[from + 1].tag &&
                           !t[from + 1].text.empty() && t[from + 1].text.size() <= 24 && t[from + 2].tag &&
                           t[from + 2].closing && t[from + 2].name == tok.name;
        if (label) from += 2;
    }
    // At the end: closing wrappers and blanks only.
    for (std::size_t k = lastText + 1; k < t.size(); ++k)
        if (t[k].tag ? !(t[k].closing && wrappers.count(t[k].name)) : !isBlank(t[k].text))
            return std::nullopt;
    // Between: text and inline wrappers, which the title leaves out.
    std::string title;
    for (std::size_t k = from; k <= lastText; ++k) {
        if (!t[k].tag)
            title += t[k].text;
        else if (!wrappers.count(t[k].name))
            return std::nullopt;
    }
    return std::string(trimBlank(title));
}

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
};

// Every anchor of the page with a plain title and a real link, in page order: judged once for
// the page, as each anchor belongs to the lists of all its ancestors.
std::vector<AnchorInfo> titledAnchors(std::string_view text, const PageStructure& page) {
    std::vector<AnchorInfo> out;
    for (std::size_t k = 0; k < page.elements.size(); ++k) {
        const PageElement& a = page.elements[k];
        if (a.tag != "a" || !usableLink(a.href)) continue;
        auto title = anchorTitle(contentOf(text, a));
        if (!title) continue;
        const std::string cls = firstClass(a.className);
        const std::size_t weight = titleWeight(*title);
        out.push_back({static_cast<int>(k), std::move(*title), weight,
                       "p:" + cls + "|" + selector(page.elements[a.parent], false),
                       "k:" + cls + "|" + linkKind(a.href)});
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
        std::size_t records = 0, weight = 0, longest = 0;
        std::set<std::string_view> titles, links;
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
                t.titles.insert(a->title);
                t.links.insert(page.elements[a->element].href);
            }
        }
    }
    std::optional<TitleKey> best;
    for (const auto& [key, t] : tallies) {
        const std::size_t n = t.records;
        if (n < 3 || n * 2 < records.size() || t.weight < kMinAverageTitle * n || t.titles.size() * 5 < n * 4 ||
            t.links.size() * 5 < n * 4 || (n <= 8 && t.longest <= kShortLabel))
            continue;
        if (!best || std::pair(t.weight, n) > std::pair(best->weight, best->records))
            best = TitleKey{key, n, t.weight};
    }
    return best;
}

// Lists inside navigation, headers, footers, menus and side bars hold no articles as a rule.
bool inChrome(const PageStructure& page, int element) {
    static constexpr std::string_view tags[] = {"nav", "header", "footer", "aside", "menu"};
    static constexpr std::string_view words[] = {"nav", "menu", "footer", "header", "sidebar", "breadcrumb"};
    for (int e = element; e > 0; e = page.elements[e].parent) {
        const PageElement& el = page.elements[e];
        if (std::find(std::begin(tags), std::end(tags), el.tag) != std::end(tags)) return true;
        const std::string names = asciiLower(std::string(el.className) + " " + std::string(el.id));
        for (std::string_view w : words)
            if (names.find(w) != std::string::npos) return true;
    }
    return false;
}

// The record's opening tag as an expression starts it: its tag, and its class when the list
// is told apart by it.
std::string recordOpen(const PageElement& first, bool byClass) {
    const std::string cls = firstClass(first.className);
    return "<" + first.tag + R"(\b)" + (byClass && !cls.empty() ? classLookahead(cls) : "");
}

// How an expression reaches the title link a (the first record's) once inside the record that
// starts with element first (or, when the record is the link, how it opens), most general first.
std::vector<std::string> anchorHeads(const PageStructure& page, int first, const PageElement& a, bool titleIsFirst,
                                     bool byClass) {
    const bool recordIsAnchor = page.elements[first].tag == "a";
    const std::string anchorOpen = recordIsAnchor ? recordOpen(page.elements[first], byClass) : R"(<a\b)";
    std::vector<std::string> heads;
    if (titleIsFirst) heads.push_back(anchorOpen);
    const std::string anchorClass = firstClass(a.className);
    if (!anchorClass.empty() && isAscii(anchorClass)) heads.push_back(anchorOpen + classLookahead(anchorClass));
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
        if (rest.size() < 3 || rest.size() > 18 || rest.find_first_not_of("0123456789") != std::string_view::npos)
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

std::optional<Shape> listShape(const PageStructure& page, int parent, const std::vector<Record>& records,
                               const std::vector<AnchorInfo>& titled, bool byClass) {
    const auto key = titleKey(page, records, titled);
    if (!key) return std::nullopt;
    Shape shape;
    shape.parent = parent;
    shape.byClass = byClass;
    bool titleIsFirst = true;  // the title link is the first titled link of every record
    std::vector<Record> kept;
    for (const Record& r : records) {
        const auto [from, to] = anchorsWithin(page, r, titled);
        auto it = std::find_if(from, to, [&](const AnchorInfo& a) { return a.place == key->key || a.kind == key->key; });
        if (it == to) continue;
        if (it != from) titleIsFirst = false;
        const PageElement& a = page.elements[it->element];
        shape.items.push_back({page.elements[r.first].start, page.elements[r.last].end, it->element, it->title,
                               std::string(a.href), {}});
        shape.score += it->weight;
        kept.push_back(r);
    }
    if (shape.items.size() < 3) return std::nullopt;
    std::vector<std::string> ids;
    if (page.elements[kept.front().first].tag != "a" && recordIds(page, kept, ids)) {
        for (std::size_t k = 0; k < ids.size(); ++k) shape.items[k].id = ids[k];
        shape.idInHead = true;
    }
    if (inChrome(page, parent)) shape.score /= 4;
    const PageElement& first = page.elements[kept.front().first];
    shape.structure = containerName(page, parent) + " > " + (byClass ? selector(first, false) : first.tag);
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
        const auto common = std::max_element(gaps.begin(), gaps.end(),
                                             [](const auto& x, const auto& y) { return x.second < y.second; });
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

}  // namespace

std::vector<Shape> htmlLists(std::string_view text, const PageStructure& page) {
    const std::vector<AnchorInfo> titled = titledAnchors(text, page);
    std::vector<Shape> shapes;
    auto add = [&](int parent, const std::vector<Record>& records, bool byClass) {
        if (records.size() < 3) return;
        if (auto s = listShape(page, parent, records, titled, byClass)) shapes.push_back(std::move(*s));
    };
    for (std::size_t p = 0; p < page.elements.size(); ++p) {
        const auto& children = page.elements[p].children;
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
