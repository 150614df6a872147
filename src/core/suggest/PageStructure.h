#pragma once
// The element structure of a page as browsers forgive it: unclosed list items, rows and cells
// close when the next one opens, stray closing tags are ignored, scripts, styles and comments
// hold no elements. Works on GBK text (tags are ASCII, and no GBK trail byte is '<', '>' or a
// quote) and keeps offsets into it, so a proposal can cite the page exactly.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tovi {

struct PageElement {
    std::string tag;  // lower case; the root is ""
    // Attributes as written, viewing the scanned text (which must outlive the structure).
    std::string_view className, id, href;
    std::size_t start = 0;       // the '<' of the opening tag
    std::size_t openEnd = 0;     // just after the opening tag
    std::size_t closeStart = 0;  // where the content ends
    std::size_t end = 0;         // just after the closing tag (or where it was closed implicitly)
    int parent = -1;
    int lastDescendant = 0;  // elements are in document order: a subtree is [index, lastDescendant]
    std::vector<int> children;
};

struct PageStructure {
    std::vector<PageElement> elements;  // [0] is the root
};

// Elements nest at most this deep, as in browsers: deeper ones become siblings at this depth.
constexpr std::size_t kMaxNesting = 512;

// xml: feeds (no void elements, no implied closes; CDATA is text). Time grows with the page's
// length alone, whatever its markup; a cancel request (checked every few thousand tags) ends
// the scan with what was read so far.
PageStructure scanPage(std::string_view text, bool xml, const std::function<bool()>& cancel = {});

// An element that has no content and no closing tag (<br>, <img>, ...); tag in lower case.
bool isVoidElement(std::string_view tag);

// The first whitespace-separated word of a class attribute.
std::string firstClass(std::string_view className);

}  // namespace tovi
