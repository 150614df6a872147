#include <algorithm>

#include "core/suggest/HtmlTree.h"
#include "core/suggest/Lists.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

constexpr std::size_t kMinLinks = 3;
constexpr std::size_t kMaxBlocks = 8;

std::size_t linksIn(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t at = s.find("href="); at != std::string_view::npos; at = s.find("href=", at + 5)) ++n;
    return n;
}

// Where the markup of a raw-text element (<textarea>, <script type="text/html">) starts and ends;
// script blocks count only when their type says they hold markup.
void rawBlocks(std::string_view text, const std::string& lower, std::string_view tag,
               std::vector<std::pair<std::size_t, std::size_t>>& out) {
    const std::string open = "<" + std::string(tag), close = "</" + std::string(tag);
    for (std::size_t at = lower.find(open); at != std::string::npos; at = lower.find(open, at + 1)) {
        const std::size_t gt = lower.find('>', at);
        if (gt == std::string::npos) return;
        const std::string_view openTag = std::string_view(lower).substr(at, gt - at);
        if (tag == "script" && openTag.find("text/html") == std::string_view::npos &&
            openTag.find("template") == std::string_view::npos)
            continue;
        const std::size_t end = lower.find(close, gt);
        if (end == std::string::npos) return;
        if (linksIn(text.substr(gt + 1, end - gt - 1)) >= kMinLinks) out.emplace_back(gt + 1, end);
        at = end;
    }
}

}  // namespace

std::vector<PageStructure> hiddenStructures(std::string_view text, const std::function<bool()>& cancel) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    for (std::size_t at = text.find("<!--"); at != std::string_view::npos; at = text.find("<!--", at + 4)) {
        const std::size_t end = text.find("-->", at + 4);
        if (end == std::string_view::npos) break;
        if (linksIn(text.substr(at + 4, end - at - 4)) >= kMinLinks) blocks.emplace_back(at + 4, end);
        at = end;
    }
    const std::string lower = asciiLower(text);
    rawBlocks(text, lower, "textarea", blocks);
    rawBlocks(text, lower, "script", blocks);
    // The blocks with most links first: a page hides its list in one of them.
    std::sort(blocks.begin(), blocks.end(), [&](const auto& a, const auto& b) {
        return linksIn(text.substr(a.first, a.second - a.first)) >
               linksIn(text.substr(b.first, b.second - b.first));
    });
    if (blocks.size() > kMaxBlocks) blocks.resize(kMaxBlocks);
    std::vector<PageStructure> out;
    for (const auto& [from, to] : blocks) {
        if (cancel && cancel()) break;
        // Read on its own, its places moved to where the block stands in the page.
        PageStructure s = parseHtml(text.substr(from, to - from), cancel);
        if (s.elements.empty()) continue;
        for (std::size_t k = 1; k < s.elements.size(); ++k) {
            PageElement& e = s.elements[k];
            e.start += from, e.openEnd += from, e.closeStart += from, e.end += from;
        }
        s.elements[0].start = s.elements[0].openEnd = from;
        s.elements[0].closeStart = s.elements[0].end = to;
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace tovi::suggest
