#include "core/suggest/Markers.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "core/suggest/SuggestParts.h"
#include "core/text/TextOps.h"

namespace tovi::suggest {
namespace {

constexpr std::size_t kMarkerReach = 600;  // how far from the list a marker may be
constexpr std::size_t kMaxMarker = 160;

// Markers go into one-line boxes: a line break there would be invisible, and retyping the marker
// would silently change what it matches.
bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

// Numbers of three digits or more change from day to day (counts, ids, dates): a marker
// without them lasts.
bool hasLongNumber(std::string_view s) {
    std::size_t run = 0;
    for (char c : s) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run >= 3) return true;
    }
    return false;
}

// Text a marker may hold: a heading's or a caption's, which names the list and stays; any other
// text on a list page is a record's (a time, a name, "last reply by"), which moves with the page.
bool namingTag(std::string_view tag) {
    return isHeading(tag) || tag == "caption" || tag == "legend" || tag == "label" || tag == "th" ||
           tag == "title";
}

// How long a marker is likely to last: 0 for tags alone, 1 with a heading's text; 2 with a long
// number, a link or a record's text, which no marker may hold.
int markerChange(std::string_view seg) {
    if (hasLongNumber(seg) || seg.find("href") != std::string_view::npos) return 2;
    int rank = 0;
    bool inNaming = false;  // inside a heading or caption
    for (std::size_t i = 0; i < seg.size();) {
        if (seg[i] == '<') {
            const std::size_t gt = seg.find('>', i);
            if (gt == std::string_view::npos) return rank;  // the marker ends inside a tag
            const bool closing = seg.compare(i + 1, 1, "/") == 0;
            std::size_t from = i + (closing ? 2 : 1), n = from;
            while (n < gt && std::isalnum(static_cast<unsigned char>(seg[n]))) ++n;
            const std::string name = asciiLower(seg.substr(from, n - from));
            if (name == "a" && !closing) return 2;
            if (namingTag(name)) inNaming = !closing;
            i = gt + 1;
            continue;
        }
        const std::size_t lt = std::min(seg.find('<', i), seg.size());
        std::string run(seg.substr(i, lt - i));
        for (std::size_t at; (at = run.find("&nbsp;")) != std::string::npos;) run.erase(at, 6);
        if (run.find_first_not_of(" \n") != std::string::npos) {
            if (!inNaming) return 2;
            rank = 1;
        }
        i = lt;
    }
    return rank;
}

// Where markers may end (start marker) or start (end marker): the inside edge of the list's
// container first (rows that come and go above the list, an announcement say, then cannot move
// the marker), the list's own edge, then the tag edges before (or after) the list.
std::vector<std::size_t> markerEdges(std::string_view text, std::size_t edge, std::size_t container,
                                     bool before) {
    std::vector<std::size_t> edges{container, edge};
    if (before) {
        for (std::size_t k = edge;
             k-- > (edge > kMarkerReach ? edge - kMarkerReach : 0) && edges.size() < 24;)
            if (text[k] == '>') edges.push_back(k + 1);
    } else {
        for (std::size_t k = edge + 1; k < std::min(text.size(), edge + kMarkerReach) && edges.size() < 24;
             ++k)
            if (text[k] == '<') edges.push_back(k);
    }
    return edges;
}

}  // namespace

// A start marker: a stretch of the page from a tag on, ending at or before the list, whose
// first appearance is that one. The one likeliest to last (tags alone, seen once) and nearest
// the list wins; a region that starts early still holds only the list's items, as the
// expression starts at the items' own tags.
std::optional<Marker> markerBefore(std::string_view text, std::size_t blockStart, std::size_t container) {
    std::optional<Marker> best;
    int bestRank = 99;
    for (std::size_t e : markerEdges(text, blockStart, container, true)) {
        for (std::size_t p = e; p-- > (e > kMaxMarker ? e - kMaxMarker : 0);) {
            if (isLineBreak(text[p])) break;  // every longer stretch holds it too
            if (text[p] != '<' || e - p < 4) continue;
            const std::string_view seg = text.substr(p, e - p);
            if (gbkFind(text.substr(0, e), seg) != p) continue;
            const int change = markerChange(seg);
            if (change >= 2) continue;
            const int rank = change * 2 + (gbkFind(text, seg, p + 1) == kNotFound ? 0 : 1);
            if (rank < bestRank) {
                best = Marker{std::string(seg), e};
                bestRank = rank;
            }
            if (rank == 0) return best;
        }
    }
    return best;
}

// An end marker: a stretch from at or after the list's end to the end of a tag, found there
// first when searching from the region's start.
std::optional<std::string> markerAfter(std::string_view text, std::size_t regionStart, std::size_t blockEnd,
                                       std::size_t container) {
    std::optional<std::string> best;
    int bestRank = 99;
    for (std::size_t s : markerEdges(text, blockEnd, container, false)) {
        if (s < blockEnd) continue;
        for (std::size_t q = s; q < std::min(text.size(), s + kMaxMarker); ++q) {
            if (isLineBreak(text[q])) break;
            if (text[q] != '>') continue;
            const std::string_view seg = text.substr(s, q + 1 - s);
            if (gbkFind(text, seg, regionStart) != s) continue;
            const int rank = markerChange(seg);
            if (rank >= 2) continue;
            if (rank < bestRank) {
                best = std::string(seg);
                bestRank = rank;
            }
            if (rank == 0) return best;
        }
    }
    return best;
}

}  // namespace tovi::suggest
