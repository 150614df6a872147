#pragma once
// Turns a fetched body into GBK text by the plan's encoding flag alone (the page's own
// declarations are never consulted).
#include <string>
#include <string_view>

namespace tovi {

// GBK pages are taken as they are, UTF-8 pages go through utf8ToGbk. Zero bytes are dropped
// and the rest kept: cutting at the first one would silently lose every article after it. The
// body is consumed: a GBK page is not copied, a UTF-8 one is held at most twice.
std::string decodeBody(std::string body, bool pageIsGbk);

}  // namespace tovi
