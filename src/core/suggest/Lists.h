#pragma once
// The lists a page holds: repeated records of an HTML page with the link that titles each, and
// the items of a feed (RSS or Atom, by their elements).
#include <string>
#include <string_view>
#include <vector>

#include "core/suggest/PageStructure.h"
#include "core/suggest/SuggestParts.h"

namespace tovi::suggest {

// Every list of the page with at least three records that each have a plain title link, the
// links distinct. Unordered: the caller ranks them.
std::vector<Shape> htmlLists(std::string_view text, const PageStructure& page);

// The items of a feed: one shape, or none.
std::vector<Shape> feedLists(std::string_view text, const PageStructure& page);

// A feed starts with <rss>, <feed> or <rdf:RDF> after declarations, comments and a DOCTYPE
// (its internal subset included).
bool looksLikeFeed(std::string_view text);

// A feed element's text: blanks and a CDATA wrapping around it left out.
std::string feedText(std::string_view content);

}  // namespace tovi::suggest
