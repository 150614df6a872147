#pragma once
// The start and end markers of a proposed plan: stretches of the page around the list, found
// there first, likeliest to last (tags alone rather than text, links or changing numbers), and
// never holding a line break.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovi::suggest {

// A start marker, and where the region it opens starts.
struct Marker {
    std::string text;
    std::size_t regionStart = 0;
};

// blockStart: where the list's first item starts; container: just inside the list's parent.
std::optional<Marker> markerBefore(std::string_view text, std::size_t blockStart, std::size_t container);
// blockEnd: where the list's last item ends; container: where the parent's content ends.
std::optional<std::string> markerAfter(std::string_view text, std::size_t regionStart, std::size_t blockEnd,
                                       std::size_t container);

}  // namespace tovi::suggest
