#include <boost/regex.hpp>

#include "core/monitor/Judge.h"
#include "core/suggest/Lists.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

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

}  // namespace

std::string feedText(std::string_view content) {
    std::string_view text = trimBlank(content);
    if (text.starts_with("<![CDATA[")) text = trimBlank(text.substr(9));
    if (text.ends_with("]]>")) text = trimBlank(text.substr(0, text.size() - 3));
    return std::string(text);
}

std::vector<Shape> feedLists(std::string_view text, const PageStructure& page) {
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
        // A title in CDATA may hold markup ("<b>new</b>"): stored, as any title, without its tags.
        Item item{e.start, e.end, static_cast<int>(k), articleTitle(feedText(contentOf(text, *title))),
                  href,    {}};
        shape.score += titleWeight(item.title);
        shape.items.push_back(std::move(item));
    }
    if (shape.items.empty()) return {};
    shape.expressionHeads.push_back("<" + itemTag + R"(\b[^>]*>)");
    return {shape};
}

bool looksLikeFeed(std::string_view text) {
    static const boost::regex root(
        R"(\A(?:\s|<\?[^>]*>|<!--[\s\S]*?-->|<!DOCTYPE[^>\[]*(?:\[[\s\S]*?\])?\s*>)*<(rss|feed|rdf:RDF)\b)",
        boost::regex::perl | boost::regex::icase);
    const std::string_view head = text.substr(text.starts_with("\xEF\xBB\xBF") ? 3 : 0, 4096);
    return boost::regex_search(head.begin(), head.end(), root);
}

}  // namespace tovi::suggest
