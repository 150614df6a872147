#pragma once
// The title an article link shows: its own text (simple inline wrappers, an icon or a short
// label allowed), or, for a card (a link wrapping blocks: a picture, a heading, an excerpt), the
// heading inside it, lacking one its longest block of plain text.
#include <optional>
#include <string>
#include <string_view>

#include "core/suggest/PageStructure.h"

namespace tovi::suggest {

// The title an anchor's content gives, as the proposed expression reads it; nullopt when the
// content holds anything but text and inline wrappers. Linear in the content.
std::optional<std::string> anchorTitle(std::string_view content);

struct CardTitle {
    int element = -1;  // the heading or block inside the link
    std::string title;
    bool heading = false;
};

// The title of a link that wraps blocks: the first heading inside it with a plain title, else
// the block with the most letters. Looks only at the link's own descendants.
std::optional<CardTitle> cardTitle(std::string_view text, const PageStructure& page, int anchor);

}  // namespace tovi::suggest
