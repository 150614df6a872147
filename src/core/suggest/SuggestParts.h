#pragma once
// Small pieces shared by the parts of a suggestion: how list items are described, how page
// text is judged, and the pieces of the proposed expressions.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/suggest/PageStructure.h"

namespace tovi::suggest {

// Pieces of the proposed expressions. A title may sit in simple inline tags, after an icon or
// a short label ("<span>New</span>"), which the expression steps over so that the title group
// holds the text alone.
// A short label is tried before a plain wrapper, so that "<span>New</span>" stays out of the title.
inline const std::string kWrapOpen = R"((?:<span\b[^>]*>[^<]{1,24}</span>\s*|<em\b[^>]*>[^<]{1,24}</em>\s*|)"
                                     R"(<(?:font|b|strong|em|span|i|u|small)\b[^>]*>\s*|<img\b[^>]*>\s*)*)";
inline const std::string kWrapClose = R"(\s*(?:</(?:font|b|strong|em|span|i|u|small)>\s*)*)";
// The title itself may hold inline wrappers ("含<b>粗体</b>标签"); the stored title leaves them out.
inline std::string titleUpTo(const std::string& closingTag) {
    return R"(\s*)" + kWrapOpen + R"(((?:[^<]|</?(?:font|b|strong|em|span|i|u|small)\b[^>]*>)+?))" +
           kWrapClose + closingTag;
}
inline const std::string kAnchorTitle = titleUpTo("</a>");
inline const std::string kFeedText = R"(\s*(?:<!\[CDATA\[)?\s*([\s\S]*?)\s*(?:\]\]>)?\s*)";
inline const std::string kLinkChars = R"([^"'\s<>\]])";

// One article as the page shows it: what the proposed plan must find.
struct Item {
    std::size_t start = 0, end = 0;  // the item's element (or run of sibling elements)
    int anchor = -1;                 // the element its title and link come from
    std::string title, link;
    std::string id;  // a stable number the record carries outside its link (its id attribute)
};

// The items of one repeated structure and how an expression finds them.
struct Shape {
    std::string structure;
    std::vector<Item> items;
    std::size_t score = 0;
    int parent = -1;
    bool byClass = false;
    // How an expression finds an item: the record's opening tag up to its attributes (empty when
    // the record is the link itself), then one of the heads (alternatives, each up to the link's
    // href= value).
    std::string recordOpen;
    std::vector<std::string> expressionHeads;
    // A card's title: the opening of the heading or block inside the link that holds it (empty
    // when the link's own text is the title).
    std::string titleOpen, titleTag;
    std::string doubt;  // GBK: why the list looks like a menu, a footer or ads
    // Each record's first element carries its number in its id attribute (items' id).
    bool idInHead = false;
    // Feeds: the link before the title; the expression continues after the link group.
    bool feed = false;
    bool linkFirst = false;
    bool atom = false;
};

bool isAscii(std::string_view s);
std::string regexEscape(std::string_view s);
// An attribute value containing `word` as one of its words.
std::string classLookahead(std::string_view word);
// tag#id.class as a reader writes it (ASCII names only); members of a list leave out their id.
std::string selector(const PageElement& e, bool withId = true);
std::string_view contentOf(std::string_view text, const PageElement& e);
bool isBlank(std::string_view s);
std::string_view trimBlank(std::string_view s);
bool usableLink(std::string_view href);
// h1 to h6 (tag in lower case).
bool isHeading(std::string_view tag);
// How much a link text says: its bytes that are not digits, spaces or punctuation (a date or a
// page number says nothing of an article), at most 80.
std::size_t titleWeight(std::string_view title);

}  // namespace tovi::suggest
