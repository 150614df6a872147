#pragma once
// The lists a page holds: repeated records of an HTML page with the link that titles each, and
// the items of a feed (RSS or Atom, by their elements).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/suggest/PageStructure.h"
#include "core/suggest/SuggestParts.h"

namespace tovi::suggest {

// Every list of the page with at least three records that each have a plain title link, the
// links distinct. Unordered: the caller ranks them.
std::vector<Shape> htmlLists(std::string_view text, const PageStructure& page);

// Markup a page keeps out of sight for its script to put in place (inside comments, <textarea>,
// <script type="text/html">), each read as a page of its own with its places in the whole page:
// where a page built by its script keeps its list. The blocks with most links, a few at most.
std::vector<PageStructure> hiddenStructures(std::string_view text, const std::function<bool()>& cancel = {});

// The items of a feed: one shape, or none.
std::vector<Shape> feedLists(std::string_view text, const PageStructure& page);

// A feed starts with <rss>, <feed> or <rdf:RDF> after declarations, comments and a DOCTYPE
// (its internal subset included).
bool looksLikeFeed(std::string_view text);

// A feed element's text: blanks and a CDATA wrapping around it left out.
std::string feedText(std::string_view content);

}  // namespace tovi::suggest
