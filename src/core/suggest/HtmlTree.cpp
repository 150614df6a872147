#include "core/suggest/HtmlTree.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdlib>
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
// One tag with more attributes than this costs the parser time by the square of them.
constexpr std::size_t kMaxAttributesInATag = 1000;
// What the parser's tree may take: the elements a page writes are bounded above, but the
// parser makes more of its own (formatting elements re-opened in every block), so its memory
// is bounded where it is taken.
constexpr std::size_t kMaxParserBytes = 160u << 20;

// How many tags the page has and how deep they could nest if nothing closed implicitly: an upper
// bound of what the parser's tree will be (only the adoption of formatting elements adds to it,
// and that is bounded per element).
struct TagCounts {
    std::size_t tags = 0, deepest = 0, mostAttributes = 0;
};

// The attributes a tag starting at `from` (its name read) holds: runs of name characters after
// blanks, up to its '>'.
std::size_t attributesFrom(std::string_view text, std::size_t from) {
    std::size_t count = 0;
    bool afterBlank = false, inQuote = false;
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuote) {
            inQuote = c != quote;
            continue;
        }
        if (c == '>') break;
        if (c == '"' || c == '\'') {
            inQuote = true;
            quote = c;
            afterBlank = false;
            continue;
        }
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/';
        if (afterBlank && !blank && c != '=') ++count;
        afterBlank = blank;
    }
    return count;
}

TagCounts tagsAndNesting(std::string_view text) {
    TagCounts counts;
    std::size_t open = 0;
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const bool closing = at + 1 < text.size() && text[at + 1] == '/';
        std::size_t i = at + (closing ? 2 : 1), n = i;
        while (n < text.size() && n - i < 12 && std::isalnum(static_cast<unsigned char>(text[n]))) ++n;
        if (n == i) continue;
        ++counts.tags;
        if (!closing) counts.mostAttributes = std::max(counts.mostAttributes, attributesFrom(text, n));
        if (closing) {
            if (open) --open;
        } else if (!isVoidElement(asciiLower(text.substr(i, n - i)))) {
            counts.deepest = std::max(counts.deepest, ++open);
        }
    }
    return counts;
}

// The parser's memory: every block it takes is counted and linked, so that past the bound (or
// on a cancel request) the parse is left at once and everything it took is given back.
class ParserMemory {
public:
    ParserMemory(std::size_t limit, const std::function<bool()>& cancel) : m_limit(limit), m_cancel(cancel) {}
    ~ParserMemory() { releaseAll(); }
    ParserMemory(const ParserMemory&) = delete;
    ParserMemory& operator=(const ParserMemory&) = delete;

    void use(GumboOptions& options) {
        options.allocator = &ParserMemory::allocate;
        options.deallocator = &ParserMemory::release;
        options.userdata = this;
    }
    bool cancelled() const { return m_cancelled; }
    void releaseAll() {
        while (m_head.next != &m_head) {
            Block* b = m_head.next;
            unlink(b);
            std::free(b);
        }
        m_live = 0;
    }
    std::jmp_buf escape;

private:
    struct alignas(std::max_align_t) Block {
        Block* prev;
        Block* next;
        std::size_t size;
    };
    static void unlink(Block* b) {
        b->prev->next = b->next;
        b->next->prev = b->prev;
    }
    static void* allocate(void* self, std::size_t size) {
        auto* m = static_cast<ParserMemory*>(self);
        if (++m->m_calls % 4096 == 0 && m->m_cancel && m->m_cancel()) {
            m->m_cancelled = true;
            std::longjmp(m->escape, 1);
        }
        auto* b =
            m->m_live + size > m->m_limit ? nullptr : static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (!b) std::longjmp(m->escape, 1);
        b->size = size;
        b->prev = &m->m_head;
        b->next = m->m_head.next;
        m->m_head.next->prev = b;
        m->m_head.next = b;
        m->m_live += size;
        return b + 1;
    }
    static void release(void* self, void* ptr) {
        if (!ptr) return;
        auto* m = static_cast<ParserMemory*>(self);
        Block* b = static_cast<Block*>(ptr) - 1;
        unlink(b);
        m->m_live -= b->size;
        std::free(b);
    }

    Block m_head{&m_head, &m_head, 0};
    std::size_t m_live = 0, m_calls = 0;
    const std::size_t m_limit;
    const std::function<bool()>& m_cancel;
    bool m_cancelled = false;
};

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
        return u >= 0x80 || std::isalnum(u) ||
               std::string_view(" \t\r\n.,:;!?()/").find(c) != std::string_view::npos;
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
        e.lastDescendant =
            e.children.empty() ? static_cast<int>(k) : page.elements[e.children.back()].lastDescendant;
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
    const TagCounts counts = tagsAndNesting(text);
    if (counts.tags > kMaxTags || counts.deepest > kMaxOpenTags ||
        counts.mostAttributes > kMaxAttributesInATag)
        return scanPage(text, false, cancel);
    const CompactText read(text);
    // On the heap: what the parser's calls change is never a local the jump could leave stale.
    const auto memory = std::make_unique<ParserMemory>(kMaxParserBytes, cancel);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // the page's faults are no concern of ours; recording them costs memory
    memory->use(options);
    // Left by a jump from the allocator (past the bound, or cancelled): the parser's frames
    // are C and hold nothing but what the memory gives back.
    GumboOutput* volatile parsed = nullptr;
    if (setjmp(memory->escape) == 0)
        parsed = gumbo_parse_with_options(&options, read.text().data(), read.text().size());
    if (!parsed) {
        memory->releaseAll();
        if (memory->cancelled()) return {};
        return scanPage(text, false, cancel);
    }
    // The tree is freed recursively: the nesting bound above keeps that within any stack.
    const GumboOutput& out = *parsed;
    PageStructure page = structureOf(text, read, out, cancel);
    gumbo_destroy_output(&options, parsed);
    return page;
}

}  // namespace tovi
