#pragma once
// The element structure of an HTML page as a browser builds it: an HTML5 parser forgives
// implied and misnested tags, tables, scripts, comments, entities and DOCTYPEs as browsers do.
// The page is the cleaned GBK text; every element keeps its offsets into it, so a proposal can
// cite the page exactly.
#include <functional>
#include <string_view>

#include "core/suggest/PageStructure.h"

namespace tovi {

// Pages too large or nested too deep for the parser to hold in bounded memory and stack are
// read by our own scanner instead (linear, nesting capped). A cancel request ends the reading
// with what was read so far.
PageStructure parseHtml(std::string_view text, const std::function<bool()>& cancel = {});

}  // namespace tovi
