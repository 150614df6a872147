#pragma once
#include <cstdint>
#include <string_view>

namespace tovi {

// The integer value of a text: full-width characters fold to ASCII, leading white space is
// skipped, an optional sign is taken, then decimal digits up to the first non-digit. A text
// without leading digits gives 0. The value saturates at the 64-bit limits instead of wrapping.
std::int64_t TextToInt(std::string_view text);

}  // namespace tovi
