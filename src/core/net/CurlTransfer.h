#pragma once
// One GET over libcurl, shared by both request routines.
#include <string>
#include <vector>

#include "core/net/Fetch.h"

namespace tovi {

struct CurlGet {
    std::string url;                   // already in wire form
    std::vector<std::string> headers;  // "Name: value" lines, in the order they are sent
    std::string userAgent;             // empty: none set by curl itself
    bool verifyTls = true;
    FetchLimits limits;
    CancelCheck cancel;
};

struct CurlResponse {
    FetchResult result;
    std::string headerText;  // the final response's header lines joined by CR LF
};

CurlResponse performGet(const CurlGet& request);

// A header line for libcurl: a value that is empty must be written "Name;" to be sent.
std::string curlHeaderLine(const std::string& name, const std::string& value);

// Adds the lines of a GBK header text (CR LF separated, "Name: value") as libcurl lines in
// UTF-8; lines without a name are left out.
void appendHeaderText(std::vector<std::string>& curlLines, const std::string& headerText);

}  // namespace tovi
