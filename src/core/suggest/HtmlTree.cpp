#include "core/suggest/HtmlTree.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/text/TextOps.h"

namespace tovi {
namespace {

// The parser's tree costs a few hundred bytes per element and is freed recursively: pages
// beyond these bounds go to the scanner.
constexpr std::size_t kMaxParsedBytes = 4u << 20;
constexpr std::size_t kMaxTags = 200000;
constexpr std::size_t kMaxOpenTags = 5000;

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
        } else if (!isVoidElement(asciiLower(text.substr(i, n - i)))) {
            deepest = std::max(deepest, ++open);
        }
    }
    return {tags, deepest};
}

// The page as the parser reads it: runs of plain text between tags (letters, digits, blanks,
// CJK, simple punctuation) shortened to one character, a blank for a blank run. The parser
// spends its time on text, which says nothing of the structure; tags, comments, entities,
// quotes and whatever else might change how markup reads are kept byte for byte, so the tree
// is the one the whole page gives. Offsets map back through the pieces.
class CompactText {
public:
    explicit CompactText(std::string_view text) : m_size(text.size()) {
        m_text.reserve(text.size() / 2);
        for (std::size_t i = 0; i < text.size();) {
            if (text[i] == '<') {
                const std::size_t gt = std::min(text.find('>', i), text.size() - 1);
                keep(text, i, gt + 1 - i);
                i = gt + 1;
                continue;
            }
            const std::size_t lt = std::min(text.find('<', i), text.size());
            const std::string_view run = text.substr(i, lt - i);
            if (run.size() < 2 || !std::all_of(run.begin(), run.end(), isPlain)) {
                keep(text, i, run.size());
            } else {
                m_pieces.push_back({m_text.size(), i, true});
                m_text += isBlank(run) ? ' ' : 'x';
            }
            i = lt;
        }
    }
    std::string_view text() const { return m_text; }
    // Where a place in the compact text is in the page (a shortened run maps to its start).
    std::size_t original(std::size_t at) const {
        if (at >= m_text.size() || m_pieces.empty()) return m_size;
        auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                                      [](std::size_t a, const Piece& p) { return a < p.compactStart; });
        --piece;
        return piece->shortened ? piece->originalStart : piece->originalStart + (at - piece->compactStart);
    }
    // The page's bytes for a stretch of the compact text, when kept byte for byte.
    std::optional<std::string_view> view(std::string_view page, const char* data, std::size_t length) const {
        if (data < m_text.data() || data + length > m_text.data() + m_text.size()) return std::nullopt;
        const std::size_t at = static_cast<std::size_t>(data - m_text.data());
        const std::size_t from = original(at);
        if (length && original(at + length - 1) != from + length - 1) return std::nullopt;
        return page.substr(from, length);
    }

private:
    struct Piece {
        std::size_t compactStart, originalStart;
        bool shortened;
    };
    static bool isPlain(char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x80 || std::isalnum(u) || std::string_view(" \t\r\n.,:;!?()/").find(c) != std::string_view::npos;
    }
    static bool isBlank(std::string_view run) {
        return run.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }
    void keep(std::string_view text, std::size_t from, std::size_t length) {
        if (m_pieces.empty() || m_pieces.back().shortened) m_pieces.push_back({m_text.size(), from, false});
        m_text.append(text.substr(from, length));
    }
    std::string m_text;
    std::vector<Piece> m_pieces;
    std::size_t m_size;
};

// An attribute's value as the page writes it (quotes left out); empty when the parser made it
// up or has none.
std::string_view attributeIn(std::string_view page, const CompactText& read, const GumboElement& e,
                             const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    if (!a || !a->original_value.data) return {};
    auto v = read.view(page, a->original_value.data, a->original_value.length);
    if (!v) return {};
    if (v->size() >= 2 && (v->front() == '"' || v->front() == '\'') && v->back() == v->front())
        *v = v->substr(1, v->size() - 2);
    return *v;
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
PageStructure structureOf(std::string_view text, const CompactText& read, const GumboOutput& out,
                          const std::function<bool()>& cancel) {
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
        e.className = attributeIn(text, read, g, "class");
        e.id = attributeIn(text, read, g, "id");
        e.href = attributeIn(text, read, g, "href");
        // Where the parser met the tags, in the page; a tag it made up has no length.
        const std::string_view compact = read.text();
        e.start = read.original(g.start_pos.offset);
        const bool written = g.original_tag.data == compact.data() + g.start_pos.offset;
        e.openEnd = e.start + (written ? g.original_tag.length : 0);
        e.closeStart = std::max(read.original(g.end_pos.offset), e.openEnd);
        // An element closed by another's end tag (a tbody by </table>) ends where that tag starts.
        const std::string_view endTag(g.original_end_tag.data ? g.original_end_tag.data : "",
                                      g.original_end_tag.data ? g.original_end_tag.length : 0);
        const bool closed = g.original_end_tag.data == compact.data() + g.end_pos.offset &&
                            asciiLower(endTag.substr(0, e.tag.size() + 2)) == "</" + e.tag;
        e.end = std::min(e.closeStart + (closed ? g.original_end_tag.length : 0), text.size());
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
    const CompactText read(text);
    // The tree is freed recursively: the nesting bound above keeps that within any stack.
    std::unique_ptr<GumboOutput, GumboOutputDeleter> out(
        gumbo_parse_with_options(&options, read.text().data(), read.text().size()));
    if (!out) return scanPage(text, false, cancel);
    return structureOf(text, read, *out, cancel);
}

}  // namespace tovi
