#pragma once
// Header lines and the cookie text a plan keeps. There is no cookie jar: a plan's cookie is
// one text of name=value pairs, and these rules decide what it becomes after each fetch.
#include <string>
#include <string_view>

namespace tovi {

// Trimmed text before / after the first ':'; both empty when the line has no colon.
std::string httpHeaderName(std::string_view line);
std::string httpHeaderValue(std::string_view line);

// Every occurrence of "Set-Cookie" in any letter case rewritten as "Set-Cookie".
std::string normaliseSetCookieNames(std::string_view headerText);

// The first name=value of every "Set-Cookie" line, joined by "; ".
std::string collectSetCookies(std::string_view headerText);

// Trimmed text before the first '='; the whole trimmed pair when it has none.
std::string cookieName(std::string_view pair);

// Pieces joined by separator with every repeat of an earlier piece dropped.
std::string removeDuplicateEntries(std::string_view text, std::string_view separator);

// Received pairs first (they win), then the old pairs not set again; "name=deleted" removes
// a pair. At most 50 pairs and 4 KB (what servers take in one header line) are kept, the
// newest first. Both arguments are overwritten with their space-free forms; the cookie argument
// also receives the result.
std::string mergeCookies(std::string& cookie, std::string& received);

}  // namespace tovi
