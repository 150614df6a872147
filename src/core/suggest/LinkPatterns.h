#pragma once
// Links of a list: the article id they carry, and the pieces of an expression that take them
// so that they stay the same while the page changes around them.
#include <optional>
#include <string>
#include <vector>

#include "core/suggest/SuggestParts.h"

namespace tovi::suggest {

// How links are taken: the characters a link group may hold and what follows it unread. A link
// loses its "#fragment" and a trailing page counter ("&page=7") when the links stay distinct
// without them: replies and new pages change those, never the article.
struct LinkForm {
    bool dropFragment = false;
    bool dropPageCounter = false;
};

// The link of an item as the form keeps it.
std::string keptLink(const std::string& link, const LinkForm& form);

// The form for a list's links: what can be left out while they stay distinct.
LinkForm linkFormFor(const std::vector<Item>& items);

// The expression piece for a link as a group, for the given form.
std::string linkGroup(const LinkForm& form);

// The run of digits every link has at the same place and no two links share: an article id
// (the last such run, as paths put the id last; a day or a page number has fewer digits).
// The expression piece for the link with that id as a second group, or nullopt; ids gets
// each item's id.
std::optional<std::string> idLinkPattern(const std::vector<Item>& items, const LinkForm& form,
                                         std::vector<std::string>& ids);

}  // namespace tovi::suggest
