#include "core/suggest/HtmlTree.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/text/TextOps.h"

namespace tovi {
namespace {

// The parser's tree costs a few hundred bytes per element and frees itself recursively: pages
// beyond these bounds go to the scanner.
constexpr std::size_t kMaxParsedBytes = 4u << 20;
constexpr std::size_t kMaxTags = 200000;
constexpr std::size_t kMaxOpenTags = 5000;

bool isVoidTag(std::string_view name) {
    static constexpr std::string_view voids[] = {"area", "base",  "br",     "col",   "embed", "hr",  "img",
                                                 "input", "link", "meta", "param", "source", "track", "wbr"};
    return std::find(std::begin(voids), std::end(voids), name) != std::end(voids);
}

// How many tags the page has and how deep they could nest if nothing closed implicitly: an upper
// bound of what the parser's tree will be (only the adoption of formatting elements adds to it,
// and that is bounded per element).
std::pair<std::size_t, std::size_t> tagsAndNesting(std::string_view text) {
    std::size_t tags = 0, open = 0, deepest = 0;
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const bool closing = at + 1 < text.size() && text[at + 1] == '/';
        std::size_t i = at + (closing ? 2 : 1), n = i;
        while (n < text.size() && n - i < 12 && std::isalnum(static_cast<unsigned char>(text[n]))) ++n;
        if (n == i) continue;
        ++tags;
        if (closing) {
            if (open) --open;
        } else if (!isVoidTag(asciiLower(text.substr(i, n - i)))) {
            deepest = std::max(deepest, ++open);
        }
    }
    return {tags, deepest};
}

// An attribute's value as written (quotes left out), viewing the text; empty when the parser
// made it up or has none.
std::string_view attributeIn(std::string_view text, const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    if (!a || !a->original_value.data) return {};
    const char* data = a->original_value.data;
    if (data < text.data() || data + a->original_value.length > text.data() + text.size()) return {};
    std::string_view v(data, a->original_value.length);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string tagName(const GumboElement& e) {
    if (e.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(e.tag);
    GumboStringPiece name = e.original_tag;
    if (!name.data || name.length == 0) return "unknown";
    gumbo_tag_from_original_text(&name);
    return asciiLower(std::string_view(name.data, name.length));
}

struct GumboOutputDeleter {
    void operator()(GumboOutput* out) const { gumbo_destroy_output(&kGumboDefaultOptions, out); }
};

// The parser's nodes as our elements, in document order (a subtree stays contiguous), each
// element's content reaching over all of its children.
PageStructure structureOf(std::string_view text, const GumboOutput& out, const std::function<bool()>& cancel) {
    PageStructure page;
    PageElement root;
    root.end = root.closeStart = text.size();
    page.elements.push_back(root);
    std::vector<std::pair<const GumboNode*, int>> todo;
    const GumboVector& top = out.document->v.document.children;
    for (unsigned k = top.length; k-- > 0;) todo.emplace_back(static_cast<const GumboNode*>(top.data[k]), 0);
    std::size_t visited = 0;
    while (!todo.empty()) {
        if (++visited % 4096 == 0 && cancel && cancel()) break;
        const auto [node, parent] = todo.back();
        todo.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
        const GumboElement& g = node->v.element;
        PageElement e;
        e.tag = tagName(g);
        e.className = attributeIn(text, g, "class");
        e.id = attributeIn(text, g, "id");
        e.href = attributeIn(text, g, "href");
        const std::size_t size = text.size();
        e.start = std::min<std::size_t>(g.start_pos.offset, size);
        const bool written = g.original_tag.data == text.data() + g.start_pos.offset;
        e.openEnd = std::min(e.start + (written ? g.original_tag.length : 0), size);
        e.closeStart = std::clamp<std::size_t>(g.end_pos.offset, e.openEnd, size);
        const bool closed = g.original_end_tag.data == text.data() + g.end_pos.offset;
        e.end = std::min(e.closeStart + (closed ? g.original_end_tag.length : 0), size);
        e.parent = parent;
        const int index = static_cast<int>(page.elements.size());
        page.elements[parent].children.push_back(index);
        page.elements.push_back(std::move(e));
        for (unsigned k = g.children.length; k-- > 0;)
            todo.emplace_back(static_cast<const GumboNode*>(g.children.data[k]), index);
    }
    // Children before parents: a parent the parser closed early (a form around a table) still
    // holds all it was given.
    for (std::size_t k = page.elements.size(); k-- > 1;) {
        PageElement& e = page.elements[k];
        e.lastDescendant = e.children.empty() ? static_cast<int>(k) : page.elements[e.children.back()].lastDescendant;
        PageElement& up = page.elements[e.parent];
        up.closeStart = std::max(up.closeStart, e.end);
        up.end = std::max(up.end, up.closeStart);
    }
    page.elements[0].lastDescendant = static_cast<int>(page.elements.size()) - 1;
    return page;
}

}  // namespace

PageStructure parseHtml(std::string_view text, const std::function<bool()>& cancel) {
    if (text.size() > kMaxParsedBytes) return scanPage(text, false, cancel);
    const auto [tags, nesting] = tagsAndNesting(text);
    if (tags > kMaxTags || nesting > kMaxOpenTags) return scanPage(text, false, cancel);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // the page's faults are no concern of ours; recording them costs memory
    std::unique_ptr<GumboOutput, GumboOutputDeleter> out(
        gumbo_parse_with_options(&options, text.data(), text.size()));
    if (!out) return scanPage(text, false, cancel);
    return structureOf(text, *out, cancel);
}

}  // namespace tovi
