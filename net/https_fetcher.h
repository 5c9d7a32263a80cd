#pragma once
// HTTPS pages through libcurl, under FetchPage's contract: the same error tags,
// stop marker, time-outs and page bound as the plain-HTTP client.
#include <memory>
#include <string>

namespace qb {

// Set in the environment, a PEM file of the only authorities to trust; lets a
// test peer with its own certificate be checked rather than skipped.
inline constexpr const char* HttpsCaFileVariable = "QB_HTTPS_CA_FILE";

// url must begin with https:// (any case). Certificates and host names are
// checked, compressed and chunked bodies decoded, redirects followed a bounded
// number of times, proxies taken from the environment. Besides FetchPage's tags,
// a failed TLS handshake or certificate gives "TLS" and too many redirects
// "redirects".
std::unique_ptr<char[]> FetchHttpsPage(const char* url, const char** errorTag, int timeOutSeconds,
                                       const char* stopMarker);

// A POST of body to an http:// or https:// URL, otherwise as FetchHttpsPage.
std::unique_ptr<char[]> PostPage(const char* url, const std::string& body, const char* contentType,
                                 const char** errorTag, int timeOutSeconds, const char* stopMarker);

}  // namespace qb
