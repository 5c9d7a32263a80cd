#pragma once
// HTTPS pages through libcurl, under FetchPage's contract: the same error tags,
// stop marker, time-outs and page bound as the plain-HTTP client.
#include <cstddef>
#include <memory>
#include <string>

#include "net/http_fetcher.h"

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

// The tag of a whole body past its bound.
inline constexpr const char* TagTooLarge = "TooLarge";

// One page request with all a search source may need, and what came back.
struct PageRequest {
  std::string url;
  bool post = false;
  std::string body, contentType;  // POST only
  std::string header;             // one more "Name: value" line; empty: none
  std::string basicAuth;          // "user:secret" for HTTP basic; empty: none
  // Above 0: the whole body is read, with no end marker and no cut, and a body
  // longer than this fails with "TooLarge". A cut JSON answer cannot be read.
  std::size_t wholeUpTo = 0;
};
struct PageAnswer {
  std::unique_ptr<char[]> page;  // null on failure, tag then set
  const char* tag = nullptr;
  int status = 0;              // 0: no status line came
  int retryAfterSeconds = -1;  // from Retry-After (seconds or a date); -1: none
};

// A plain GET of http:// goes through FetchPage; anything else (https, POST, a
// header, authentication, a whole body) through libcurl, for http:// too. A header or
// credentials with a line break are refused with "ExtractURL".
PageAnswer AskPage(const PageRequest& request, int timeOutSeconds, const char* stopMarker);

}  // namespace qb
