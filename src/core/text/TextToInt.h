#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace tovi {

// The integer value of a text: full-width characters fold to ASCII, leading white space is
// skipped, an optional sign is taken, then decimal digits up to the first non-digit. A text
// without leading digits gives 0. The value saturates at the 64-bit limits instead of wrapping.
std::int64_t textToInt(std::string_view text);

// As textToInt, but nullopt when the digits do not fit in 64 bits (instead of saturating).
std::optional<std::int64_t> textToIntChecked(std::string_view text);

}  // namespace tovi
