#include "core/suggest/PageStructure.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <unordered_map>

#include "core/text/TextOps.h"

namespace tovi {
namespace {

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
           c == '-' || c == '_';
}
bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f'; }

bool oneOf(std::string_view tag, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), tag) != names.end();
}

// The elements an opening tag closes when one is still open within their container: a new
// list item closes the last one, a row its cells and the last row, and so on.
struct ImpliedClose {
    std::string_view opens;
    std::initializer_list<std::string_view> closes;
    std::initializer_list<std::string_view> within;
};
const ImpliedClose kImpliedCloses[] = {
    {"li", {"li"}, {"ul", "ol", "menu"}},
    {"tr", {"tr"}, {"table", "tbody", "thead", "tfoot"}},
    {"td", {"td", "th"}, {"tr", "table"}},
    {"th", {"td", "th"}, {"tr", "table"}},
    {"tbody", {"tbody", "thead", "tfoot"}, {"table"}},
    {"thead", {"tbody", "thead", "tfoot"}, {"table"}},
    {"tfoot", {"tbody", "thead", "tfoot"}, {"table"}},
    {"dt", {"dt", "dd"}, {"dl"}},
    {"dd", {"dt", "dd"}, {"dl"}},
    {"option", {"option"}, {"select"}},
    {"p", {"p"}, {"div", "td", "li", "body"}},
};

std::size_t findCi(std::string_view text, std::string_view lowerNeedle, std::size_t from) {
    for (std::size_t at = text.find('<', from); at != std::string_view::npos; at = text.find('<', at + 1)) {
        if (text.size() - at < lowerNeedle.size()) break;
        if (asciiLower(text.substr(at, lowerNeedle.size())) == lowerNeedle) return at;
    }
    return std::string_view::npos;
}

class Builder {
public:
    Builder(std::string_view text, bool xml, const std::function<bool()>& cancel)
        : m_text(text), m_xml(xml), m_cancel(cancel) {
        std::size_t tags = 0;
        for (const char* p = text.data();
             (p = static_cast<const char*>(std::memchr(p, '<', text.data() + text.size() - p))); ++p)
            ++tags;
        m_page.elements.reserve(tags + 1);
        m_page.elements.push_back({});
        m_stack.push_back(0);
    }

    PageStructure run() {
        std::size_t i = 0;
        while (i < m_text.size()) {
            const void* lt = std::memchr(m_text.data() + i, '<', m_text.size() - i);
            if (!lt) break;
            i = static_cast<const char*>(lt) - m_text.data();
            i = tagAt(i);
            if (m_cancel && ++m_tagsRead % 4096 == 0 && m_cancel()) break;
        }
        while (m_stack.size() > 1) close(m_stack.back(), m_text.size(), m_text.size());
        finish();
        return std::move(m_page);
    }

private:
    // Reads the markup starting at '<' and returns where scanning goes on.
    std::size_t tagAt(std::size_t i) {
        const std::string_view rest = m_text.substr(i);
        if (rest.starts_with("<!--")) return skipPast(i + 4, "-->");
        if (rest.starts_with("<![CDATA[")) return skipPast(i + 9, "]]>");
        if (rest.size() > 9 && asciiLower(rest.substr(0, 9)) == "<!doctype") {
            // An internal subset holds declarations with '>' of their own: it ends at "]".
            const std::size_t gt = m_text.find('>', i), subset = m_text.find('[', i);
            if (subset < gt) return skipPast(skipPast(subset, "]"), ">");
        }
        if (rest.starts_with("<!") || rest.starts_with("<?")) return skipPast(i + 2, ">");
        const bool closing = rest.starts_with("</");
        std::size_t n = i + (closing ? 2 : 1);
        const std::size_t nameStart = n;
        while (n < m_text.size() && isNameChar(m_text[n])) ++n;
        if (n == nameStart || !std::isalpha(static_cast<unsigned char>(m_text[nameStart]))) return i + 1;
        const std::string name = asciiLower(m_text.substr(nameStart, n - nameStart));
        PageElement e;
        bool selfClosing = false;
        const std::size_t end = readAttributes(n, e, selfClosing);
        if (closing) {
            closeNamed(name, i, end);
            return end;
        }
        e.tag = name;
        e.start = i;
        e.openEnd = end;
        if (!m_xml) closeImplied(name, i);
        while (m_stack.size() >= kMaxNesting) close(m_stack.back(), i, i);
        const int index = static_cast<int>(m_page.elements.size());
        e.parent = m_stack.back();
        m_page.elements.push_back(std::move(e));
        m_page.elements[m_page.elements[index].parent].children.push_back(index);
        if (selfClosing || (!m_xml && isVoidElement(name))) {
            m_page.elements[index].closeStart = m_page.elements[index].end = end;
            return end;
        }
        m_stack.push_back(index);
        ++m_openByName[name];
        if (!m_xml && oneOf(name, {"script", "style", "textarea", "title"})) {
            // Their text is not markup: a "<" inside a script opens nothing.
            const std::size_t closeAt = findCi(m_text, "</" + name, end);
            if (closeAt == std::string_view::npos) {
                close(index, m_text.size(), m_text.size());
                return m_text.size();
            }
            const std::size_t gt = m_text.find('>', closeAt);
            const std::size_t after = gt == std::string_view::npos ? m_text.size() : gt + 1;
            close(index, closeAt, after);
            return after;
        }
        return end;
    }

    std::size_t skipPast(std::size_t from, std::string_view terminator) {
        const std::size_t at = m_text.find(terminator, from);
        return at == std::string_view::npos ? m_text.size() : at + terminator.size();
    }

    // Attributes up to the tag's '>' (quotes respected; a quote left open ends at the next '>').
    std::size_t readAttributes(std::size_t n, PageElement& e, bool& selfClosing) {
        while (n < m_text.size()) {
            while (n < m_text.size() && isSpace(m_text[n])) ++n;
            if (n >= m_text.size()) break;
            if (m_text[n] == '>') return n + 1;
            if (m_text[n] == '/') {
                selfClosing = n + 1 < m_text.size() && m_text[n + 1] == '>';
                ++n;
                continue;
            }
            const std::size_t nameStart = n;
            while (n < m_text.size() && !isSpace(m_text[n]) && m_text[n] != '=' && m_text[n] != '>' &&
                   m_text[n] != '/')
                ++n;
            if (n == nameStart) {
                ++n;
                continue;
            }
            const std::string attr = asciiLower(m_text.substr(nameStart, n - nameStart));
            while (n < m_text.size() && isSpace(m_text[n])) ++n;
            std::string_view value;
            if (n < m_text.size() && m_text[n] == '=') {
                ++n;
                while (n < m_text.size() && isSpace(m_text[n])) ++n;
                if (n < m_text.size() && (m_text[n] == '"' || m_text[n] == '\'')) {
                    const std::size_t q = m_text.find(m_text[n], n + 1);
                    const std::size_t gt = m_text.find('>', n + 1);
                    if (q == std::string_view::npos ||
                        (gt != std::string_view::npos && gt < q && m_text.find('<', n + 1) < q)) {
                        // An unclosed quote: the value ends where the tag does.
                        value =
                            m_text.substr(n + 1, (gt == std::string_view::npos ? m_text.size() : gt) - n - 1);
                        n = gt == std::string_view::npos ? m_text.size() : gt;
                    } else {
                        value = m_text.substr(n + 1, q - n - 1);
                        n = q + 1;
                    }
                } else {
                    const std::size_t vs = n;
                    while (n < m_text.size() && !isSpace(m_text[n]) && m_text[n] != '>') ++n;
                    value = m_text.substr(vs, n - vs);
                }
            }
            if (attr == "class")
                e.className = value;
            else if (attr == "id")
                e.id = value;
            else if (attr == "href")
                e.href = value;
        }
        return m_text.size();
    }

    void closeImplied(std::string_view name, std::size_t at) {
        for (const ImpliedClose& rule : kImpliedCloses) {
            if (rule.opens != name) continue;
            for (std::size_t k = m_stack.size(); k-- > 1;) {
                const std::string& open = m_page.elements[m_stack[k]].tag;
                if (oneOf(open, rule.within)) break;
                if (oneOf(open, rule.closes)) {
                    while (m_stack.size() > k) close(m_stack.back(), at, at);
                    break;
                }
            }
        }
    }

    void closeNamed(const std::string& name, std::size_t closeStart, std::size_t end) {
        // A stray closing tag is ignored without walking the open elements.
        if (auto it = m_openByName.find(name); it == m_openByName.end() || it->second == 0) return;
        for (std::size_t k = m_stack.size(); k-- > 1;) {
            if (m_page.elements[m_stack[k]].tag != name) continue;
            while (m_stack.size() > k + 1) close(m_stack.back(), closeStart, closeStart);
            close(m_stack.back(), closeStart, end);
            return;
        }
    }

    void close(int index, std::size_t closeStart, std::size_t end) {
        m_page.elements[index].closeStart = closeStart;
        m_page.elements[index].end = end;
        m_stack.pop_back();
        --m_openByName[m_page.elements[index].tag];
    }

    void finish() {
        auto& els = m_page.elements;
        els[0].end = els[0].closeStart = m_text.size();
        for (std::size_t k = 0; k < els.size(); ++k) els[k].lastDescendant = static_cast<int>(k);
        for (std::size_t k = els.size(); k-- > 1;) {
            PageElement& parent = els[els[k].parent];
            parent.lastDescendant = std::max(parent.lastDescendant, els[k].lastDescendant);
        }
    }

    std::string_view m_text;
    bool m_xml;
    const std::function<bool()>& m_cancel;
    std::size_t m_tagsRead = 0;
    PageStructure m_page;
    std::vector<int> m_stack;
    std::unordered_map<std::string, int> m_openByName;  // open elements on the stack, by tag
};

}  // namespace

PageStructure scanPage(std::string_view text, bool xml, const std::function<bool()>& cancel) {
    return Builder(text, xml, cancel).run();
}

bool isVoidElement(std::string_view tag) {
    return oneOf(tag, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
                       "source", "track", "wbr"});
}

std::string firstClass(std::string_view className) {
    std::size_t s = 0;
    while (s < className.size() && isSpace(className[s])) ++s;
    std::size_t e = s;
    while (e < className.size() && !isSpace(className[e])) ++e;
    return std::string(className.substr(s, e - s));
}

}  // namespace tovi
