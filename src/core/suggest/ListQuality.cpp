#include "core/suggest/ListQuality.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

constexpr std::size_t kShortTitle = 8;  // letters (a Chinese character counts two): a menu's label

// A link's host in lower case, or empty for a relative link.
std::string hostOf(std::string_view href) {
    const std::string lower = asciiLower(href.substr(0, 8));
    std::size_t from;
    if (lower.starts_with("http://"))
        from = 7;
    else if (lower.starts_with("https://"))
        from = 8;
    else if (href.starts_with("//"))
        from = 2;
    else
        return {};
    const std::size_t end = std::min(href.find_first_of("/?#:", from), href.size());
    return asciiLower(href.substr(from, end - from));
}

// The path and query of a link, without its host.
std::string_view pathOf(std::string_view href) {
    if (hostOf(href).empty()) return href;
    const std::size_t from = href.find("//") + 2;
    const std::size_t slash = href.find_first_of("/?#", from);
    return slash == std::string_view::npos ? std::string_view() : href.substr(slash);
}

// A run of three digits or more, or a slug of words ("how-to-install-x"): an article's own page.
bool articleLink(std::string_view href) {
    const std::string_view path = pathOf(href);
    std::size_t run = 0, dashes = 0;
    for (char c : path) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run >= 3) return true;
        if (c == '/') dashes = 0;
        if (c == '-' || c == '_') ++dashes;
        if (dashes >= 2) return true;
    }
    return false;
}

// A section's page: no number, no query, at most one step below the site's root.
bool sectionLink(std::string_view href) {
    std::string_view path = pathOf(href);
    if (articleLink(href) || path.find_first_of("?0123456789") != std::string_view::npos) return false;
    path = path.substr(0, path.find('#'));
    const auto steps = std::count(path.begin(), path.end(), '/');
    return steps <= 1 || path.ends_with("/");
}

// A date or time beside the title: "2020-08-16", "2020年8月", "22:26", "3 分钟前", "2 hours ago".
bool hasDate(std::string_view s) {
    static const std::string ago[] = {gbk("分钟前"), gbk("小时前"), gbk("天前"), gbk("刚刚"), " ago"};
    auto digit = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    for (std::size_t k = 1; k + 2 < s.size(); ++k) {
        if (s[k] == ':' && digit(k - 1) && digit(k + 1) && digit(k + 2)) return true;
        if ((s[k] == '-' || s[k] == '/' || s[k] == '.') && k >= 4 && digit(k - 1) && digit(k - 2) &&
            digit(k - 3) && digit(k - 4) && digit(k + 1))
            return true;
    }
    for (const std::string& word : ago)
        if (gbkFind(s, word) != kNotFound) return true;
    return gbkFind(s, gbk("年")) != kNotFound && gbkFind(s, gbk("月")) != kNotFound;
}

bool hasWord(const std::string& names, std::string_view word) {
    for (std::size_t at = names.find(word); at != std::string::npos; at = names.find(word, at + 1)) {
        const bool startOk = at == 0 || !std::isalpha(static_cast<unsigned char>(names[at - 1]));
        const std::size_t end = at + word.size();
        const bool endOk = end >= names.size() || !std::isalpha(static_cast<unsigned char>(names[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

// What stands around a list: the class and id names of its container and the container's
// ancestors (lower case), and whether any of them is navigation, a header, a footer, a menu or a
// side bar, which hold no articles as a rule. One walk up the tree.
struct Surroundings {
    std::string names;
    bool chrome = false;
};

Surroundings surroundingsOf(std::string_view text, const PageStructure& page, int element) {
    static constexpr std::string_view tags[] = {"nav", "header", "footer", "aside", "menu"};
    static constexpr std::string_view words[] = {"nav",     "menu",       "footer",   "header",
                                                 "sidebar", "breadcrumb", "dropdown", "submenu"};
    Surroundings s;
    for (int e = element; e > 0; e = page.elements[e].parent) {
        const PageElement& el = page.elements[e];
        s.names += asciiLower(std::string(el.className) + " " + std::string(el.id)) + " ";
        if (std::find(std::begin(tags), std::end(tags), el.tag) != std::end(tags)) s.chrome = true;
        const std::string open =
            asciiLower(text.substr(el.start, std::min<std::size_t>(el.openEnd - el.start, 400)));
        if (open.find("role=\"menu") != std::string::npos ||
            open.find("role=\"navigation") != std::string::npos ||
            open.find("role=menu") != std::string::npos)
            s.chrome = true;
    }
    // The names are joined by blanks, which no word holds: each is found in one element's names.
    for (std::string_view w : words)
        if (s.names.find(w) != std::string::npos) s.chrome = true;
    return s;
}

bool adLike(const std::string& names, const std::set<std::string>& hosts) {
    for (std::string_view w :
         {"ad", "ads", "advert", "advertisement", "sponsor", "sponsored", "promo", "guanggao"})
        if (hasWord(names, w)) return true;
    for (const std::string& h : hosts)
        for (std::string_view w : {"doubleclick", "googlesyndication", "adservice", "ads.", "ad.", "adx."})
            if (h.find(w) != std::string::npos) return true;
    return false;
}

bool inMainArea(const std::string& names) {
    for (std::string_view w : {"main", "content", "list", "post", "posts", "thread", "threads", "topic",
                               "topics", "article", "articles", "feed", "stream", "news"})
        if (hasWord(names, w)) return true;
    return false;
}

}  // namespace

std::string domainOf(std::string_view host) {
    const std::size_t last = host.rfind('.');
    if (last == std::string_view::npos || last == 0) return std::string(host);
    std::size_t second = host.rfind('.', last - 1);
    const std::string_view secondLabel =
        host.substr(second == std::string_view::npos ? 0 : second + 1,
                    last - (second == std::string_view::npos ? 0 : second + 1));
    const bool country = host.size() - last - 1 == 2;
    if (country && second != std::string_view::npos &&
        (secondLabel == "com" || secondLabel == "net" || secondLabel == "org" || secondLabel == "gov" ||
         secondLabel == "edu" || secondLabel == "co" || secondLabel == "ac"))
        second = host.rfind('.', second - 1);
    return std::string(second == std::string_view::npos ? host : host.substr(second + 1));
}

std::string homeDomain(const PageStructure& page) {
    std::map<std::string, std::size_t> counts;
    for (const PageElement& e : page.elements)
        if (e.tag == "a" && !e.href.empty())
            if (const std::string host = hostOf(e.href); !host.empty()) counts[domainOf(host)]++;
    if (counts.empty()) return {};
    return std::max_element(counts.begin(), counts.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

ListTraits judgeList(std::string_view text, const PageStructure& page, int parent,
                     const std::vector<Item>& items, std::string_view home) {
    ListTraits t;
    if (items.empty()) return t;
    const double n = static_cast<double>(items.size());
    std::size_t weight = 0, articles = 0, sections = 0, dated = 0, elsewhere = 0;
    std::set<std::string> otherHosts;
    for (const Item& item : items) {
        weight += titleWeight(item.title);
        articles += articleLink(item.link) ? 1 : 0;
        sections += sectionLink(item.link) ? 1 : 0;
        const std::size_t span = std::min<std::size_t>(item.end - item.start, 3000);
        dated += hasDate(text.substr(item.start, span)) ? 1 : 0;
        const std::string host = hostOf(item.link);
        if (!host.empty() && domainOf(host) != home) {
            ++elsewhere;
            otherHosts.insert(host);
        }
    }
    const double average = static_cast<double>(weight) / n, idShare = articles / n,
                 sectionShare = sections / n, dateShare = dated / n;
    const auto [names, chrome] = surroundingsOf(text, page, parent);
    // Ads go to one or two other sites; an aggregator's stories go to many.
    const bool ads = adLike(names, otherHosts) || (elsewhere >= n * 0.8 && otherHosts.size() <= 2);
    const bool shortLabels = average < kShortTitle, toSections = sectionShare >= 0.7;
    t.factor = (1 + idShare) * (1 + 0.5 * dateShare) * (inMainArea(names) ? 1.3 : 1) *
               (shortLabels ? 0.5 : 1) * (toSections ? 0.4 : 1) * (ads ? 0.2 : 1) * (chrome ? 0.25 : 1);
    std::vector<std::string> reasons;
    if (ads) reasons.push_back(gbk("链接多指向别的网站或广告"));
    if (chrome && idShare < 0.5) reasons.push_back(gbk("它在导航栏、菜单、页眉、页脚或侧栏里"));
    if (toSections && idShare < 0.3) reasons.push_back(gbk("链接多指向栏目页而不是文章"));
    if (shortLabels && idShare < 0.5) reasons.push_back(gbk("标题都很短"));
    if (!reasons.empty()) {
        t.doubt = gbk("这个列表看起来像菜单、页脚或广告（");
        for (std::size_t k = 0; k < reasons.size(); ++k) t.doubt += (k ? gbk("；") : "") + reasons[k];
        t.doubt += gbk("），不像文章列表");
    }
    return t;
}

}  // namespace tovi::suggest
