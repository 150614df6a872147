#include "core/suggest/PlanSuggest.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>
#include <set>

#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanTestRun.h"
#include "core/net/Decode.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/Url.h"
#include "core/suggest/Encoding.h"
#include "core/suggest/PageStructure.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

// Pieces of the proposed expressions. A title may sit in simple inline tags, after an icon or
// a short label ("<span>New</span>"), which the expression steps over so that the title group
// holds the text alone.
const std::string kWrapOpen = R"((?:<(?:font|b|strong|em|span|i|u|small)\b[^>]*>\s*|<img\b[^>]*>\s*|)"
                              R"(<span\b[^>]*>[^<]{1,24}</span>\s*|<em\b[^>]*>[^<]{1,24}</em>\s*)*)";
const std::string kWrapClose = R"(\s*(?:</(?:font|b|strong|em|span|i|u|small)>\s*)*)";
const std::string kAnchorTitle = R"(\s*)" + kWrapOpen + R"(([^<]+?))" + kWrapClose + "</a>";
const std::string kFeedText = R"(\s*(?:<!\[CDATA\[)?\s*([\s\S]*?)\s*(?:\]\]>)?\s*)";
const std::string kLinkChars = R"([^"'\s<>\]])";

constexpr std::size_t kMinAverageTitle = 10;  // letters: shorter link texts are menus and pagers
constexpr std::size_t kShortLabel = 12;       // a short list of labels no longer than this is a menu
constexpr std::size_t kMaxShapesProved = 6;
constexpr std::size_t kMaxCandidates = 5;
// The proofs together may take this long; a page built to make matching slow gets no proposal.
constexpr std::chrono::seconds kProofBudget{10};
constexpr std::size_t kMarkerReach = 600;  // how far from the list a marker may be
constexpr std::size_t kMaxMarker = 160;

// One article as the page shows it: what the proposed plan must find.
struct Item {
    std::size_t start = 0, end = 0;  // the item's element
    int anchor = -1;                 // the element its title and link come from
    std::string title, link;
};

// The items of one repeated structure and how an expression finds them.
struct Shape {
    std::string structure;
    std::vector<Item> items;
    std::size_t score = 0;
    int parent = -1;
    bool byClass = false;
    std::vector<std::string> expressionHeads;  // alternatives, each up to the link group
    // Feeds: the link before the title; the expression continues after the link group.
    bool feed = false;
    bool linkFirst = false;
    bool atom = false;
};

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string regexEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (std::string_view(R"(\^$.|?*+()[]{})").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// An attribute value containing `word` as one of its words.
std::string classLookahead(std::string_view word) {
    return R"((?=[^>]*\sclass=["']?(?:[^"'>]*\s)?)" + regexEscape(word) + R"((?=[\s"'>])))";
}

std::string selector(const PageElement& e) {
    std::string s = e.tag;
    if (!e.id.empty() && isAscii(e.id)) s += "#" + std::string(e.id);
    const std::string cls = firstClass(e.className);
    if (!cls.empty() && isAscii(cls)) s += "." + cls;
    return s;
}

std::string_view contentOf(std::string_view text, const PageElement& e) {
    return e.closeStart > e.openEnd ? text.substr(e.openEnd, e.closeStart - e.openEnd) : std::string_view();
}

// One piece of an anchor's content: a tag (its lower-case name, whether it closes) or text.
struct ContentToken {
    bool tag = false, closing = false;
    std::string name;
    std::string_view text;
};

bool isBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
    });
}

std::string_view trimBlank(std::string_view s) {
    while (!s.empty() && isBlank(s.substr(0, 1))) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.substr(s.size() - 1))) s.remove_suffix(1);
    return s;
}

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

// The title an anchor's content gives, as the proposed expression reads it: plain text, after
// simple inline wrappers, an icon or a short label, before the wrappers' closing tags. nullopt
// when the content is anything else. Linear in the content, whatever it holds.
std::optional<std::string> anchorTitle(std::string_view content) {
    static const std::set<std::string, std::less<>> wrappers = {"font", "b", "strong", "em",
                                                                "span", "i", "u",      "small"};
    auto tokens = contentTokens(content);
    if (!tokens) return std::nullopt;
    const auto& t = *tokens;
    // Where the title's text is: the last text that is not blank.
    std::size_t titleAt = t.size();
    for (std::size_t k = t.size(); k-- > 0;)
        if (!t[k].tag && !isBlank(t[k].text)) {
            titleAt = k;
            break;
        }
    if (titleAt == t.size()) return std::nullopt;
    // Before it: wrappers, icons, blanks and short labels (<span>New</span>) only.
    for (std::size_t k = 0; k < titleAt; ++k) {
        if (!t[k].tag) {
            if (!isBlank(t[k].text)) return std::nullopt;
        } else if (!t[k].closing && (wrappers.count(t[k].name) || t[k].name == "img")) {
            const bool label = (t[k].name == "span" || t[k].name == "em") && k + 2 < titleAt &&
                               !t[k + 1].tag && !t[k + 1].text.empty() && t[k + 1].text.size() <= 24 &&
                               t[k + 2].tag && t[k + 2].closing && t[k + 2].name == t[k].name;
            if (label) k += 2;
        } else {
            return std::nullopt;
        }
    }
    // After it: closing wrappers and blanks only.
    for (std::size_t k = titleAt + 1; k < t.size(); ++k)
        if (t[k].tag ? !(t[k].closing && wrappers.count(t[k].name)) : !isBlank(t[k].text))
            return std::nullopt;
    return std::string(trimBlank(t[titleAt].text));
}

bool usableLink(std::string_view href) {
    if (href.empty() || href[0] == '#') return false;
    const std::string lower = asciiLower(href.substr(0, 11));
    return !lower.starts_with("javascript:") && !lower.starts_with("mailto:");
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

// How much a link text says: its bytes that are not digits, spaces or punctuation (a date or a
// page number says nothing of an article), at most 80.
std::size_t titleWeight(std::string_view title) {
    std::size_t weight = 0;
    for (char c : title) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || std::isalpha(u)) ++weight;
    }
    return std::min<std::size_t>(weight, 80);
}

struct AnchorInfo {
    int element;
    std::string title;
    std::string kind;  // class word + "|" + link kind
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
        out.push_back(
            {static_cast<int>(k), std::move(*title), firstClass(a.className) + "|" + linkKind(a.href)});
    }
    return out;
}

// Those of them in an element's subtree.
std::vector<AnchorInfo> anchorsWithin(const PageStructure& page, int member,
                                      const std::vector<AnchorInfo>& titled) {
    auto from = std::lower_bound(titled.begin(), titled.end(), member,
                                 [](const AnchorInfo& a, int element) { return a.element < element; });
    auto to = std::find_if(from, titled.end(), [&](const AnchorInfo& a) {
        return a.element > page.elements[member].lastDescendant;
    });
    return {from, to};
}

// One list: the members of a parent with one tag (and one class word when byClass); the
// title link is the kind of link most members have, with the most text.
std::optional<Shape> listShape(const PageStructure& page, int parent, const std::vector<int>& members,
                               const std::vector<AnchorInfo>& titled, bool byClass) {
    std::vector<std::vector<AnchorInfo>> found;
    std::map<std::string, std::pair<std::size_t, std::size_t>> kinds;  // kind -> members, text
    for (int m : members) {
        found.push_back(anchorsWithin(page, m, titled));
        std::set<std::string> seen;
        for (const AnchorInfo& a : found.back()) {
            if (!seen.insert(a.kind).second) continue;
            kinds[a.kind].first++;
            kinds[a.kind].second += titleWeight(a.title);
        }
    }
    if (kinds.empty()) return std::nullopt;
    auto best = std::max_element(kinds.begin(), kinds.end(), [](const auto& x, const auto& y) {
        return std::pair(x.second.first, x.second.second) < std::pair(y.second.first, y.second.second);
    });
    const std::string kind = best->first;
    Shape shape;
    shape.parent = parent;
    shape.byClass = byClass;
    bool titleIsFirst = true;  // the title link is the first titled link of every member
    std::set<std::string> links, titles;
    std::size_t longestTitle = 0;
    for (std::size_t k = 0; k < members.size(); ++k) {
        auto it = std::find_if(found[k].begin(), found[k].end(),
                               [&](const AnchorInfo& a) { return a.kind == kind; });
        if (it == found[k].end()) continue;
        if (it != found[k].begin()) titleIsFirst = false;
        const PageElement& member = page.elements[members[k]];
        const PageElement& a = page.elements[it->element];
        shape.items.push_back({member.start, member.end, it->element, it->title, std::string(a.href)});
        shape.score += titleWeight(it->title);
        longestTitle = std::max(longestTitle, titleWeight(it->title));
        links.insert(std::string(a.href));
        titles.insert(it->title);
    }
    const std::size_t n = shape.items.size();
    if (n < 3 || shape.score < kMinAverageTitle * n || links.size() * 5 < n * 4 ||
        titles.size() * 5 < n * 4 || (n <= 8 && longestTitle <= kShortLabel))
        return std::nullopt;

    const PageElement& first = page.elements[members.front()];
    shape.structure = selector(page.elements[parent]) + " > " + (byClass ? selector(first) : first.tag);
    const std::string cls = firstClass(first.className);
    std::string head;
    if (first.tag != "a") {
        head = "<" + first.tag + R"(\b)" + (byClass ? classLookahead(cls) : "") + R"([^>]*>[\s\S]*?)";
    }
    // How the title link differs from the other links of its member, most general first.
    const std::string anchorClass = kind.substr(0, kind.find('|'));
    const std::string linkPrefix = kind.substr(kind.find('|') + 1);
    const std::string memberAnchor = first.tag == "a" && byClass ? classLookahead(cls) : "";
    if (titleIsFirst) shape.expressionHeads.push_back(head + R"(<a\b)" + memberAnchor);
    if (!anchorClass.empty() && isAscii(anchorClass))
        shape.expressionHeads.push_back(head + R"(<a\b)" + memberAnchor + classLookahead(anchorClass));
    if (linkPrefix.size() >= 2 && isAscii(linkPrefix))
        shape.expressionHeads.push_back(head + R"(<a\b)" + memberAnchor + R"((?=[^>]*\shref=["']?)" +
                                        regexEscape(linkPrefix) + ")");
    if (shape.expressionHeads.empty()) return std::nullopt;
    return shape;
}

std::vector<Shape> htmlShapes(std::string_view text, const PageStructure& page) {
    const std::vector<AnchorInfo> titled = titledAnchors(text, page);
    std::vector<Shape> shapes;
    for (std::size_t p = 0; p < page.elements.size(); ++p) {
        const auto& children = page.elements[p].children;
        if (children.size() < 3) continue;
        std::map<std::string, std::vector<int>> byTag, byTagClass;
        for (int c : children) {
            const PageElement& e = page.elements[c];
            byTag[e.tag].push_back(c);
            const std::string cls = firstClass(e.className);
            if (!cls.empty() && isAscii(cls)) byTagClass[e.tag + "." + cls].push_back(c);
        }
        for (const auto* groups : {&byTag, &byTagClass}) {
            for (const auto& [key, members] : *groups) {
                if (members.size() < 3) continue;
                if (auto s = listShape(page, static_cast<int>(p), members, titled, groups == &byTagClass))
                    shapes.push_back(std::move(*s));
            }
        }
    }
    return shapes;
}

const PageElement* childNamed(const PageStructure& page, const PageElement& e, std::string_view tag,
                              bool alternateLink = false) {
    for (int c : e.children) {
        const PageElement& child = page.elements[c];
        if (child.tag != tag) continue;
        if (alternateLink && child.href.empty()) continue;
        return &child;
    }
    return nullptr;
}

// A feed element's text: blanks and a CDATA wrapping around it left out.
std::string feedText(std::string_view content) {
    std::string_view text = trimBlank(content);
    if (text.starts_with("<![CDATA[")) text = trimBlank(text.substr(9));
    if (text.ends_with("]]>")) text = trimBlank(text.substr(0, text.size() - 3));
    return std::string(text);
}

std::vector<Shape> feedShapes(std::string_view text, const PageStructure& page) {
    Shape shape;
    shape.feed = true;
    std::string itemTag;
    for (std::size_t k = 0; k < page.elements.size(); ++k) {
        const PageElement& e = page.elements[k];
        if (e.tag != "item" && e.tag != "entry") continue;
        const bool atom = e.tag == "entry";
        const PageElement* title = childNamed(page, e, "title");
        const PageElement* link = atom ? nullptr : childNamed(page, e, "link");
        if (atom) {
            for (int c : e.children) {
                const PageElement& l = page.elements[c];
                if (l.tag != "link" || l.href.empty()) continue;
                const std::string tagText = asciiLower(text.substr(l.start, l.openEnd - l.start));
                const auto rel = tagText.find(" rel=");
                if (rel != std::string::npos && tagText.compare(rel + 6, 9, "alternate") != 0) continue;
                link = &l;
                break;
            }
        }
        if (!title || !link) continue;
        const std::string href = atom ? std::string(link->href) : feedText(contentOf(text, *link));
        if (!usableLink(href) || href.find_first_of(" \t\n<>\"'") != std::string::npos) continue;
        if (shape.items.empty()) {
            itemTag = e.tag;
            shape.atom = atom;
            shape.linkFirst = link->start < title->start;
            shape.parent = e.parent;
            shape.structure = selector(page.elements[e.parent]) + " > " + e.tag;
        } else if (e.tag != itemTag) {
            continue;
        }
        Item item{e.start, e.end, static_cast<int>(k), feedText(contentOf(text, *title)), href};
        shape.score += titleWeight(item.title);
        shape.items.push_back(std::move(item));
    }
    if (shape.items.empty()) return {};
    shape.expressionHeads.push_back("<" + itemTag + R"(\b[^>]*>)");
    return {shape};
}

// Numbers of three digits or more change from day to day (counts, ids, dates): a marker
// without them lasts.
bool hasLongNumber(std::string_view s) {
    std::size_t run = 0;
    for (char c : s) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run >= 3) return true;
    }
    return false;
}

// A start marker, and where the region it opens starts.
struct Marker {
    std::string text;
    std::size_t regionStart = 0;
};

// How long a marker is likely to last: 0 for tags alone (no text, no link, no long number),
// 1 without long numbers, 2 otherwise.
int markerChange(std::string_view seg) {
    if (hasLongNumber(seg)) return 2;
    if (seg.find("href") != std::string_view::npos) return 1;
    bool inTag = false;
    for (char c : seg) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag && c != ' ' && c != '\n')
            return 1;
    }
    return 0;
}

// Where markers may end (start marker) or start (end marker): the list's own edge, the inside
// edge of its container, then the tag edges before (or after) the list.
std::vector<std::size_t> markerEdges(std::string_view text, std::size_t edge, std::size_t container,
                                     bool before) {
    std::vector<std::size_t> edges{edge, container};
    if (before) {
        for (std::size_t k = edge;
             k-- > (edge > kMarkerReach ? edge - kMarkerReach : 0) && edges.size() < 24;)
            if (text[k] == '>') edges.push_back(k + 1);
    } else {
        for (std::size_t k = edge + 1; k < std::min(text.size(), edge + kMarkerReach) && edges.size() < 24;
             ++k)
            if (text[k] == '<') edges.push_back(k);
    }
    return edges;
}

// A start marker: a stretch of the page from a tag on, ending at or before the list, whose
// first appearance is that one. The one likeliest to last (tags alone, seen once) and nearest
// the list wins; a region that starts early still holds only the list's items, as the
// expression starts at the items' own tags.
std::optional<Marker> markerBefore(std::string_view text, std::size_t blockStart, std::size_t container) {
    std::optional<Marker> best;
    int bestRank = 99;
    for (std::size_t e : markerEdges(text, blockStart, container, true)) {
        for (std::size_t p = e; p-- > (e > kMaxMarker ? e - kMaxMarker : 0);) {
            if (text[p] != '<' || e - p < 4) continue;
            const std::string_view seg = text.substr(p, e - p);
            if (gbkFind(text.substr(0, e), seg) != p) continue;
            const int rank = markerChange(seg) * 2 + (gbkFind(text, seg, p + 1) == kNotFound ? 0 : 1);
            if (rank < bestRank) {
                best = Marker{std::string(seg), e};
                bestRank = rank;
            }
            if (rank == 0) return best;
        }
    }
    return best;
}

// An end marker: a stretch from at or after the list's end to the end of a tag, found there
// first when searching from the region's start.
std::optional<std::string> markerAfter(std::string_view text, std::size_t regionStart, std::size_t blockEnd,
                                       std::size_t container) {
    std::optional<std::string> best;
    int bestRank = 99;
    for (std::size_t s : markerEdges(text, blockEnd, container, false)) {
        if (s < blockEnd) continue;
        for (std::size_t q = s; q < std::min(text.size(), s + kMaxMarker); ++q) {
            if (text[q] != '>') continue;
            const std::string_view seg = text.substr(s, q + 1 - s);
            if (gbkFind(text, seg, regionStart) != s) continue;
            const int rank = markerChange(seg);
            if (rank < bestRank) {
                best = std::string(seg);
                bestRank = rank;
            }
            if (rank == 0) return best;
        }
    }
    return best;
}

std::string quoteMarker(const std::string& marker) { return gbkReplaceAll(marker, "\"", gbk("#引号")); }

// The run of digits every link has at the same place and no two links share: an article id
// (the last such run, as paths put the id last; a day or a page number has fewer digits).
// The expression piece for the link with that id as a group, or nullopt.
std::optional<std::string> idLinkPattern(const std::vector<Item>& items, std::vector<std::string>& ids) {
    static const boost::regex digits("[0-9]+");
    std::vector<std::vector<std::string>> runs;
    std::size_t fewest = SIZE_MAX;
    for (const Item& item : items) {
        runs.emplace_back();
        for (boost::sregex_iterator it(item.link.begin(), item.link.end(), digits), end; it != end; ++it)
            runs.back().push_back(it->str());
        fewest = std::min(fewest, runs.back().size());
    }
    std::optional<std::size_t> chosen;
    for (std::size_t k = 0; k < fewest; ++k) {
        std::set<std::string> values;
        std::size_t shortest = SIZE_MAX, longest = 0;
        for (const auto& r : runs) {
            values.insert(r[k]);
            shortest = std::min(shortest, r[k].size());
            longest = std::max(longest, r[k].size());
        }
        if (values.size() == items.size() && shortest >= 3 && longest <= 18) chosen = k;
    }
    if (!chosen) return std::nullopt;
    ids.clear();
    for (const auto& r : runs) ids.push_back(r[*chosen]);
    const std::string other = R"([^"'\s<>\]0-9])";
    std::string pattern = "(";
    if (*chosen > 0) pattern += "(?:" + other + "*[0-9]+){" + std::to_string(*chosen) + "}";
    pattern += other + "*([0-9]+)" + kLinkChars + "*)";
    return pattern;
}

std::string urlTemplate(const std::string& pageUrl, const std::vector<Item>& items, int group) {
    std::vector<std::string> links;
    for (const Item& item : items) links.push_back(item.link);
    return urlTemplateFor(pageUrl, links, group);
}

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

bool looksLikeFeed(std::string_view text) {
    static const boost::regex root(
        R"(\A(?:\s|<\?[^>]*>|<!--[\s\S]*?-->|<!DOCTYPE[^>]*>)*<(rss|feed|rdf:RDF)\b)",
        boost::regex::perl | boost::regex::icase);
    const std::string_view head = text.substr(text.starts_with("\xEF\xBB\xBF") ? 3 : 0, 4096);
    return boost::regex_search(head.begin(), head.end(), root);
}

// The expression for a shape with one of its heads, and the groups of title, link and id.
struct Built {
    std::string expression;
    int titleGroup = 0, linkGroup = 0, idGroup = 0;
};

Built buildExpression(const Shape& shape, const std::string& head, const std::optional<std::string>& idLink) {
    Built b;
    const std::string link = idLink ? *idLink : "(" + kLinkChars + "+)";
    if (!shape.feed) {
        b.expression = head + R"([^>]*?\shref=["']?)" + link + R"([^>]*>)" + kAnchorTitle;
        b.linkGroup = 1;
        b.idGroup = idLink ? 2 : 0;
        b.titleGroup = idLink ? 3 : 2;
        return b;
    }
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

// The plan test on the same page must find exactly the shape's items.
bool proves(const PlanTestResult& tested, const Shape& shape, const Built& built,
            const std::vector<std::string>& ids) {
    if (tested.outcome != PlanTestResult::Outcome::Matches || tested.rows.size() != shape.items.size())
        return false;
    for (std::size_t k = 0; k < shape.items.size(); ++k) {
        const auto& row = tested.rows[k];
        if (row[built.titleGroup] != shape.items[k].title || row[built.linkGroup] != shape.items[k].link)
            return false;
        if (built.idGroup && row[built.idGroup] != ids[k]) return false;
    }
    return true;
}

std::optional<PlanSuggestion> propose(const std::string& url, const FetchResult& page, std::string_view text,
                                      const PageStructure& structure, const Shape& shape, bool gbkPage,
                                      const std::string& name, const std::string& baseUrl,
                                      const CancelCheck& cancel) {
    const std::size_t blockStart = shape.items.front().start, blockEnd = shape.items.back().end;
    const PageElement& container = structure.elements[shape.parent];
    const auto before = markerBefore(text, blockStart, container.openEnd);
    if (!before) return std::nullopt;
    const auto after = markerAfter(text, before->regionStart, blockEnd, container.closeStart);
    if (!after) return std::nullopt;
    std::vector<std::string> ids;
    const auto idLink = idLinkPattern(shape.items, ids);
    const JudgeMode mode = idLink                           ? JudgeMode::CompareArticleId
                           : datesAscend(text, shape.items) ? JudgeMode::TimeAscending
                                                            : JudgeMode::TimeDescending;
    const DirectFetcher samePage = [&page](const std::string&, const std::string&, const std::string&,
                                           const CancelCheck&) { return page; };
    for (const std::string& head : shape.expressionHeads) {
        if (cancel && cancel()) return std::nullopt;
        const Built built = buildExpression(shape, head, idLink);
        PlanSuggestion s;
        PlanFields& f = s.fields;
        f.code = gbkPage ? "1" : "0";
        f.url = url;
        f.before = quoteMarker(before->text);
        f.after = quoteMarker(*after);
        f.regular = built.expression;
        f.buquan = urlTemplate(baseUrl, shape.items, built.linkGroup);
        f.tindex = std::to_string(built.titleGroup);
        f.uindex = std::to_string(built.idGroup);
        f.oindex = std::to_string(built.linkGroup);
        f.ua = kEditorDefaultUserAgent;
        f.name = name;
        f.type = static_cast<int>(mode);
        PlanTestResult tested =
            runPlanTest({f.regular, f.url, gbkPage, f.before, f.after, f.cookie, f.ua}, samePage, cancel);
        if (!proves(tested, shape, built, ids)) continue;
        s.structure = shape.structure;
        s.count = tested.rows.size();
        Match m;
        for (const auto& row : tested.rows) {
            s.titles.push_back(row[built.titleGroup]);
            m.groups = row;
            s.links.push_back(composeUrl(f.buquan, m));
        }
        s.sampleTitles.assign(s.titles.begin(), s.titles.begin() + std::min<std::size_t>(3, s.titles.size()));
        s.tested = std::move(tested);
        return s;
    }
    return std::nullopt;
}

// Relative links resolve against the page's <base href> when it gives a full address.
std::string baseFor(const std::string& url, const PageStructure& page) {
    for (const PageElement& e : page.elements) {
        if (e.tag != "base" || e.href.empty()) continue;
        const std::string lower = asciiLower(e.href.substr(0, 8));
        if (lower.starts_with("http://") || lower.starts_with("https://")) return std::string(e.href);
    }
    return url;
}

}  // namespace

std::string urlTemplateFor(const std::string& pageUrl, const std::vector<std::string>& links, int group) {
    const std::string slot = "[" + std::to_string(group) + "]";
    std::map<std::string, std::size_t> forms;
    const UrlParts u = splitUrl(pageUrl);
    const std::string origin = u.scheme + "://" + UrlHost(pageUrl, true);
    std::string path = u.path.substr(0, u.path.find('?'));
    for (const std::string& link : links) {
        const std::string lower = asciiLower(link.substr(0, 8));
        if (lower.starts_with("http://") || lower.starts_with("https://"))
            forms[slot]++;
        else if (link.starts_with("//"))
            forms[u.scheme + ":" + slot]++;
        else if (link.starts_with("/"))
            forms[origin + slot]++;
        else if (link.starts_with("?"))
            forms[origin + path + slot]++;
        else
            forms[origin + path.substr(0, path.rfind('/') + 1) + slot]++;
    }
    if (forms.empty()) return slot;
    return std::max_element(forms.begin(), forms.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

namespace {

// Visits the parentheses of an expression from `from` on, outside classes and escapes, with
// their position; visiting stops when visit returns false.
template <typename Visit>
void forEachParenthesis(std::string_view expression, std::size_t from, Visit visit) {
    bool inClass = false;
    for (std::size_t i = from; i < expression.size(); i += gbkCharLength(expression, i)) {
        const char c = expression[i];
        if (c == '\\') {
            ++i;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
        } else if ((c == '(' || c == ')') && !visit(i, c)) {
            return;
        }
    }
}

// Capturing groups that open before pos (a group opens at "(" not followed by "?").
int groupsBefore(std::string_view expression, std::size_t pos) {
    int groups = 0;
    forEachParenthesis(expression, 0, [&](std::size_t i, char c) {
        if (i >= pos) return false;
        if (c == '(' && !(i + 1 < expression.size() && expression[i + 1] == '?')) ++groups;
        return true;
    });
    return groups;
}

// The end of the group opening at pos (the position after its ")"), or npos.
std::size_t groupEnd(std::string_view expression, std::size_t pos) {
    int depth = 0;
    std::size_t end = std::string_view::npos;
    forEachParenthesis(expression, pos, [&](std::size_t i, char c) {
        depth += c == '(' ? 1 : -1;
        if (depth == 0) end = i + 1;
        return depth != 0;
    });
    return end;
}

}  // namespace

std::optional<LinkInExpression> linkInExpression(std::string_view expression) {
    const std::string lower = asciiLower(expression);
    for (std::size_t at = lower.find("href="); at != std::string::npos; at = lower.find("href=", at + 5)) {
        std::size_t i = at + 5;
        if (i < expression.size() && expression[i] == '\\' && i + 1 < expression.size() &&
            (expression[i + 1] == '"' || expression[i + 1] == '\''))
            ++i;
        const char quote =
            i < expression.size() && (expression[i] == '"' || expression[i] == '\'') ? expression[i] : 0;
        if (quote) ++i;
        // The value as literal text around one capturing group.
        LinkInExpression link;
        bool ok = true;
        while (ok && i < expression.size()) {
            const char c = expression[i];
            const char next = i + 1 < expression.size() ? expression[i + 1] : 0;
            if (quote ? c == quote || (c == '\\' && next == quote)
                      : c == ' ' || c == '>' || (c == '\\' && next == 's'))
                break;
            if (c == '(' && link.group == 0 && !(i + 1 < expression.size() && expression[i + 1] == '?')) {
                const std::size_t end = groupEnd(expression, i);
                if (end == std::string_view::npos) return std::nullopt;
                link.group = groupsBefore(expression, i) + 1;
                link.pattern += "[" + std::to_string(link.group) + "]";
                i = end;
            } else if (c == '\\' && i + 1 < expression.size() &&
                       std::string_view("./?-_=&#:").find(expression[i + 1]) != std::string_view::npos) {
                link.pattern += expression[i + 1];
                i += 2;
            } else if (std::string_view("\\[]()*+?{}|.^$").find(c) != std::string_view::npos) {
                ok = false;  // not a literal: the link cannot be written from it
            } else {
                const std::size_t len = gbkCharLength(expression, i);
                link.pattern.append(expression.substr(i, len));
                i += len;
            }
        }
        if (ok && link.group > 0) return link;
    }
    return std::nullopt;
}

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
    if (std::string refused = webUrlProblem(url); !refused.empty()) {
        r.problem = refused;
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
        return r;
    }
    if (progress) progress(gbk("正在分析页面（") + std::to_string(page.body.size()) + gbk(" 字节）"));
    const DetectedEncoding encoding = detectEncoding(page.body, page.contentType);
    r.encodingReason = encoding.reason;
    std::string text = decodeBody(page.body, encoding.gbk);
    cleanSourceInPlace(text);
    const bool feed = looksLikeFeed(text);
    const PageStructure structure = scanPage(text, feed, bounded);
    if (bounded()) {
        r.problem = gbk("页面太大或太复杂，10 秒内没有读完");
        return r;
    }
    std::vector<Shape> shapes = feed ? feedShapes(text, structure) : htmlShapes(text, structure);
    std::stable_sort(shapes.begin(), shapes.end(), [](const Shape& a, const Shape& b) {
        return std::pair(a.score, a.byClass) > std::pair(b.score, b.byClass);
    });
    if (progress) progress(gbk("找到 ") + std::to_string(shapes.size()) + gbk(" 个可能的列表，正在逐个验证"));
    const std::string name = pageName(text, structure, feed);
    const std::string base = baseFor(url, structure);
    std::vector<std::pair<int, std::set<int>>> taken;  // parent and title links of each proposal
    std::size_t proved = 0;
    for (const Shape& shape : shapes) {
        if (r.candidates.size() >= kMaxCandidates || proved >= kMaxShapesProved || bounded()) break;
        std::set<int> anchors;
        for (const Item& item : shape.items) anchors.insert(item.anchor);
        // The same links again, or a part of a list already proposed seen from another level.
        const bool repeated = std::any_of(taken.begin(), taken.end(), [&](const auto& t) {
            return t.second == anchors ||
                   (t.first != shape.parent &&
                    std::includes(t.second.begin(), t.second.end(), anchors.begin(), anchors.end()));
        });
        if (repeated) continue;
        ++proved;
        if (auto s = propose(url, page, text, structure, shape, encoding.gbk, name, base, bounded)) {
            r.candidates.push_back(std::move(*s));
            taken.emplace_back(shape.parent, std::move(anchors));
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
    const FetchResult page = DirectHttpRequest(url, cookie, "User-Agent: " + userAgent, cancel);
    if (page.cancelled) return {};
    return suggestPlans(url, page, cancel, progress);
}

}  // namespace tovi
