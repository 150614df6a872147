#include "core/suggest/AnchorTitles.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "core/suggest/SuggestParts.h"

namespace tovi::suggest {
namespace {

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

}  // namespace

// After simple inline wrappers, an icon or a short label at its start, before the wrappers'
// closing tags at its end, the text with the inline tags in it left out ("含<b>粗体</b>标签").
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
        const bool label = (tok.name == "span" || tok.name == "em") && from + 2 < lastText &&
                           !t[from + 1].tag && !t[from + 1].text.empty() && t[from + 1].text.size() <= 24 &&
                           t[from + 2].tag && t[from + 2].closing && t[from + 2].name == tok.name;
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

std::optional<CardTitle> cardTitle(std::string_view text, const PageStructure& page, int anchor) {
    // Blocks a card's title may stand in; a span or a paragraph is as good as a div.
    static const std::set<std::string, std::less<>> blocks = {"div", "p",          "span",   "strong",
                                                              "b",   "figcaption", "header", "em"};
    std::optional<CardTitle> best;
    std::size_t bestWeight = 0;
    // A title is short and near the card's start: a link wrapping half the page (a hostile or
    // broken one) costs no more than a card.
    constexpr int kMaxLooked = 64;
    constexpr std::size_t kMaxTitleBytes = 1024;
    const int last = std::min(page.elements[anchor].lastDescendant, anchor + kMaxLooked);
    for (int k = anchor + 1; k <= last; ++k) {
        const PageElement& e = page.elements[k];
        if (e.closeStart - e.openEnd > kMaxTitleBytes) continue;
        const bool heading = isHeading(e.tag);
        if (!heading && !blocks.count(e.tag)) continue;
        auto title = anchorTitle(contentOf(text, e));
        if (!title || title->empty()) continue;
        if (heading) return CardTitle{k, std::move(*title), true};
        const std::size_t weight = titleWeight(*title);
        if (weight > bestWeight) {
            bestWeight = weight;
            best = CardTitle{k, std::move(*title), false};
        }
    }
    return best;
}

}  // namespace tovi::suggest
