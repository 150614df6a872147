#pragma once
// Splitting a plan's URL into host, port and path, and making it fit for the wire.
#include <string>
#include <string_view>

namespace tovi {

// True when the URL starts with "https://" in any letter case.
bool isSecureUrl(std::string_view url);

// Host in lower case without scheme and path (a URL without scheme is http). The host ends
// at "/", "?" or "#". With keepPort the ":port" stays.
std::string UrlHost(std::string_view url, bool keepPort);
// The explicit port, else 443 for https, else 80.
int UrlPort(std::string_view url);
// From the first "/" after the host to the end, query included; "/" when there is none
// (a query right after the host gets a "/" in front of it).
std::string UrlPath(std::string_view url);

// A GBK URL as a browser sends it: UTF-8, with non-ASCII bytes and spaces percent-encoded.
std::string urlForWire(std::string_view gbkUrl);

}  // namespace tovi
