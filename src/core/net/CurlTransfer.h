#pragma once
// One GET over libcurl, shared by both request routines and the transfer pool.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/net/Fetch.h"

typedef void CURL;

namespace tovi {

struct CurlGet {
    std::string url;                   // already in wire form
    std::vector<std::string> headers;  // "Name: value" lines, in the order they are sent
    std::string userAgent;             // empty: none set by curl itself
    bool verifyTls = true;
    bool acceptCompressed = false;  // ask for gzip/deflate; the size cap counts the inflated page
    // With acceptCompressed: keep the body as it came (compressed) for inflateHeldBody, so a page
    // waiting to be processed takes what the site sent, not what it inflates to.
    bool keepCompressed = false;
    FetchLimits limits;
    CancelCheck cancel;
    // Redirects are followed here, not by libcurl, so what goes where is our rule: the first
    // request's origin, the redirects followed so far, and whether the chain has left it.
    std::string origin;
    int redirects = 0;
    bool leftOrigin = false;
    bool freshConnection = false;  // not over a connection kept from an earlier transfer
};

struct CurlResponse {
    FetchResult result;
    std::string headerText;   // the final response's header lines joined by CR LF (bytes as sent)
    std::string redirectTo;   // a redirect's target as libcurl resolves it; empty otherwise
    std::string location;     // its Location header as sent
    bool leftOrigin = false;  // the page came from another scheme, host or port than asked
    int curlCode = 0;         // how the transfer ended (CURLcode)
    bool reusedConnection = false;
    // It came over HTTP/2 (or later): the site takes several streams on one connection.
    bool multiplexed = false;
    std::string keptEncoding;  // "gzip" or "deflate" while the body is still as the site sent it
};

// The same request once more over a new connection, when a connection kept from an earlier
// transfer broke under this one (the site closed it, or sent half an answer on it): such a
// failure says nothing of the page. nullopt for any other ending.
std::optional<CurlGet> retryOnFreshConnection(const CurlGet& request, const CurlResponse& response);

constexpr int kMaxRedirects = 10;

// The request that follows a redirect response, or nullopt when the response is no redirect
// (or the chain is too long or leaves the web: then the response says why). A request that
// leaves its first origin (scheme, host and port as written) goes without the plan's cookie
// and credentials: a login for one site never reaches another.
std::optional<CurlGet> followRedirect(const CurlGet& request, CurlResponse& response);

// A transfer set up and ready to run on a multi handle; it collects the body (up to the cap,
// stopping the transfer at it) and the final response's headers.
class CurlTransfer {
public:
    explicit CurlTransfer(const CurlGet& request);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    CURL* handle() const { return m_easy; }
    // The memory its body takes so far (while it runs, on the thread that drives it).
    std::size_t receivedBytes() const;
    // After the multi handle reported the transfer done with this code.
    CurlResponse finish(int curlCode);
    // The response of a transfer abandoned (a stop request).
    static CurlResponse cancelled();

    struct State;

private:
    CURL* m_easy = nullptr;
    std::unique_ptr<State> m_state;
};

// The body of a response kept compressed, inflated (at most maxBody bytes: past it the page is
// refused as too large, as while receiving). Nothing to do for any other response.
void inflateHeldBody(CurlResponse& response, std::size_t maxBody);

// Runs one request to its end (or until its cancel check says stop).
CurlResponse performGet(const CurlGet& request);

// A header line for libcurl: a value that is empty must be written "Name;" to be sent.
std::string curlHeaderLine(const std::string& name, const std::string& value);

// Adds the lines of a GBK header text (CR LF separated, "Name: value") as libcurl lines in
// UTF-8; lines without a name are left out.
void appendHeaderText(std::vector<std::string>& curlLines, const std::string& headerText);

void initCurlOnce();

}  // namespace tovi
