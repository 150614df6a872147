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

// A stretch of the page that holds markup, and how many links it has.
struct Block {
    std::size_t from, to, links;
};

// Takes the stretch when it has links enough to be a list.
void keepIfLinked(std::string_view text, std::size_t from, std::size_t to, std::vector<Block>& out) {
    if (const std::size_t n = linksIn(text.substr(from, to - from)); n >= kMinLinks)
        out.push_back({from, to, n});
}

// Where the markup of a raw-text element (<textarea>, <script type="text/html">) starts and ends;
// script blocks count only when their type says they hold markup.
void rawBlocks(std::string_view text, const std::string& lower, std::string_view tag,
               std::vector<Block>& out) {
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
        keepIfLinked(text, gt + 1, end, out);
        at = end;
    }
}

}  // namespace

std::vector<PageStructure> hiddenStructures(std::string_view text, const std::function<bool()>& cancel) {
    std::vector<Block> blocks;
    for (std::size_t at = text.find("<!--"); at != std::string_view::npos; at = text.find("<!--", at + 4)) {
        const std::size_t end = text.find("-->", at + 4);
        if (end == std::string_view::npos) break;
        keepIfLinked(text, at + 4, end, blocks);
        at = end;
    }
    const std::string lower = asciiLower(text);
    rawBlocks(text, lower, "textarea", blocks);
    rawBlocks(text, lower, "script", blocks);
    // The blocks with most links first: a page hides its list in one of them.
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Block& a, const Block& b) { return a.links > b.links; });
    if (blocks.size() > kMaxBlocks) blocks.resize(kMaxBlocks);
    std::vector<PageStructure> out;
    for (const auto& [from, to, links] : blocks) {
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
