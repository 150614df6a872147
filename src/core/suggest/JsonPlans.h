#pragma once
// The request behind a list a script builds: when one of the page's JSON responses holds the
// titles and links of the list the browser showed, a plan over that response reads the same
// articles at the speed of a plain fetch, with no browser.
#include <optional>
#include <string>
#include <vector>

#include "core/net/Renderer.h"
#include "core/suggest/PlanSuggest.h"

namespace tovi {

// A plan over one of requests that stores exactly the articles of rendered (same titles and
// links), proved on the response as it came; nullopt when no response holds them all.
std::optional<PlanSuggestion> directJsonPlan(const PlanSuggestion& rendered,
                                             const std::vector<PageRequest>& requests,
                                             const CancelCheck& cancel = {});

}  // namespace tovi
