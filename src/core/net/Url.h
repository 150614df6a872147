#pragma once
// Splitting a plan's URL into its parts, and making it fit for the wire. One parser serves the
// host, port and path routines, the secure test and the wire form, so they never disagree.
#include <string>
#include <string_view>

#include "core/Result.h"

namespace tovi {

struct UrlParts {
    std::string scheme;  // lower case; "http" for a URL written without one
    bool hasScheme = false;
    std::string userInfo;  // "user:pass" before an "@", as written
    std::string host;      // lower case; an IPv6 address keeps its brackets
    std::string port;      // as written after the host's ":"; empty when there is none
    bool hasPort = false;
    std::string path;  // from the first "/" after the host, query included, fragment left out
};

// A URL without "scheme://" is taken as http. The host ends at "/", "?" or "#"; a query right
// after the host gets a "/" in front of it; "/" when there is no path at all.
UrlParts splitUrl(std::string_view url);

// Host in lower case without scheme, user and path. With keepPort the ":port" stays.
std::string urlHost(std::string_view url, bool keepPort);

// Only web pages leave the program: fine when the URL is http or https (or has no scheme),
// otherwise the status text saying it was refused.
Result<> checkWebUrl(std::string_view url);

// A GBK URL as a browser sends it: scheme always written, UTF-8, non-ASCII bytes, spaces and
// control characters percent-encoded, no fragment.
std::string urlForWire(std::string_view gbkUrl);

// The page's address as a Referer carries it: no user and password, no fragment.
std::string refererOf(std::string_view url);
// Only the origin ("https://host:port/"), as a Referer carries it to another site.
std::string refererOrigin(std::string_view url);

// Written with "http://" or "https://" (in any case): a full web address.
bool isWebAddress(std::string_view url);

// Scheme, host and port of a URL as written, the port always given ("127.1" is not
// "127.0.0.1"): what "the same site" means for a login.
std::string urlOrigin(std::string_view url);

// A link as a browser follows it from a page at base: absolute links as they are, "//host/x",
// "/x", "?q", "#f" and relative paths ("../x") resolved, dot segments removed. GBK bytes pass
// through; the result is no wire form (urlForWire makes one).
std::string resolveLink(std::string_view base, std::string_view link);

// The address a page's relative links resolve against: its <base href> when that is a full web
// address, else the page's own address.
std::string pageBase(std::string_view pageUrl, std::string_view pageText);

// A page on a domain kept for examples and tests (example.com, .net, .org and their subdomains;
// the .example, .test and .invalid names), which no real page is on.
bool isExampleUrl(std::string_view url);

// CR, LF or NUL in a value would start a new request header line.
bool hasLineBreak(std::string_view text);

}  // namespace tovi
