#include "core/suggest/LinkPatterns.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cstdint>
#include <map>
#include <set>

#include "core/net/Url.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace suggest {
namespace {

// A page counter at the end of a link (before any fragment): "&page=7", "?pagenumber=2".
const std::string kPageCounter = R"((?:&amp;|&|\?)(?:page|pagenumber|pageno|lastpage)=[0-9]*(?=["'\s>#]|$))";

std::string linkChar(const LinkForm& form) {
    const std::string plain = form.dropFragment ? R"([^"'\s<>\]#])" : kLinkChars;
    return form.dropPageCounter ? "(?:(?!" + kPageCounter + ")" + plain + ")" : plain;
}

// What follows the kept link inside the value, read and left out.
std::string leftOut(const LinkForm& form) {
    std::string s;
    if (form.dropPageCounter) s += "(?:" + kPageCounter + ")?";
    if (form.dropFragment) s += R"((?:#[^"'\s<>]*)?)";
    return s;
}

std::string withoutFragment(const std::string& link) { return link.substr(0, link.find('#')); }

std::string withoutPageCounter(const std::string& link) {
    static const boost::regex counter(kPageCounter);
    return boost::regex_replace(link, counter, "", boost::format_first_only);
}

// Leaving out what strip removes changes some link and keeps them all distinct and not empty.
template <typename Strip>
bool staysDistinct(const std::vector<std::string>& links, Strip strip) {
    std::set<std::string> kept;
    bool changed = false;
    for (const std::string& link : links) {
        std::string k = strip(link);
        changed = changed || k != link;
        if (k.empty() || !kept.insert(std::move(k)).second) return false;
    }
    return changed;
}

}  // namespace

std::string keptLink(const std::string& link, const LinkForm& form) {
    std::string kept = form.dropFragment ? withoutFragment(link) : link;
    return form.dropPageCounter ? withoutPageCounter(kept) : kept;
}

LinkForm linkFormFor(const std::vector<Item>& items) {
    std::vector<std::string> links;
    for (const Item& item : items) links.push_back(item.link);
    LinkForm form;
    form.dropFragment = staysDistinct(links, withoutFragment);
    // A counter is judged on the links as they stand once their fragments are gone.
    if (form.dropFragment)
        for (std::string& link : links) link = withoutFragment(link);
    form.dropPageCounter = staysDistinct(links, withoutPageCounter);
    return form;
}

std::string linkGroup(const LinkForm& form) { return "(" + linkChar(form) + "+)" + leftOut(form); }

std::optional<std::string> idLinkPattern(const std::vector<Item>& items, const LinkForm& form,
                                         std::vector<std::string>& ids) {
    static const boost::regex digits("[0-9]+");
    std::vector<std::vector<std::string>> runs;
    std::size_t fewest = SIZE_MAX;
    for (const Item& item : items) {
        const std::string link = keptLink(item.link, form);
        runs.emplace_back();
        for (boost::sregex_iterator it(link.begin(), link.end(), digits), end; it != end; ++it)
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
    const std::string other = R"([^"'\s<>\]0-9#])";
    std::string pattern = "(";
    if (*chosen > 0) pattern += "(?:" + other + "*[0-9]+){" + std::to_string(*chosen) + "}";
    pattern += other + "*([0-9]+)" + linkChar(form) + "*)" + leftOut(form);
    return pattern;
}

}  // namespace suggest

namespace {

// The templates the links take, with how many take each.
std::map<std::string, std::size_t> templateForms(const std::string& pageUrl,
                                                 const std::vector<std::string>& links,
                                                 const std::string& slot) {
    std::map<std::string, std::size_t> forms;
    const UrlParts u = splitUrl(pageUrl);
    const std::string origin = u.scheme + "://" + urlHost(pageUrl, true);
    std::string path = u.path.substr(0, u.path.find('?'));
    for (const std::string& link : links) {
        if (isWebAddress(link))
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
    return forms;
}

}  // namespace

std::string browserUrlTemplate(const std::string& pageUrl, const std::vector<std::string>& links, int group) {
    const std::string slot = "[" + std::to_string(group) + "]";
    const auto forms = templateForms(pageUrl, links, slot);
    return forms.size() == 1 ? forms.begin()->first : slot;
}

std::string urlTemplateFor(const std::string& pageUrl, const std::vector<std::string>& links, int group) {
    const std::string slot = "[" + std::to_string(group) + "]";
    const auto forms = templateForms(pageUrl, links, slot);
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

}  // namespace tovi
