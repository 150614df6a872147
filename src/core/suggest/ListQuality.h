#pragma once
// What makes a list a list of articles, and what makes it look like a menu, a footer or an
// advertising box: long, sentence-like titles, links with ids into the site's own pages, dates
// beside titles and a place in the page's main area count for it; short labels, links to
// sections or to one or two other sites, ad classes and navigation around it count against.
#include <string>
#include <string_view>
#include <vector>

#include "core/suggest/SuggestParts.h"

namespace tovi::suggest {

// The domain most of the page's absolute links go to (the page's own, as its links show it;
// relative links need none).
std::string homeDomain(const PageStructure& page);

// A host's domain: its last two labels, three for "com.cn", "co.uk" and the like.
std::string domainOf(std::string_view host);

struct ListTraits {
    double factor = 1;  // the list's title weight is multiplied by this to rank it
    std::string doubt;  // GBK; why the list looks like a menu, a footer or ads (empty: it does not)
};

ListTraits judgeList(std::string_view text, const PageStructure& page, int parent,
                     const std::vector<Item>& items, std::string_view home);

}  // namespace tovi::suggest
