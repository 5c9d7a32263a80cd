#pragma once
// Blocking page fetches: the program's own HTTP/1.1 client for http://, one GET
// per call and one connection; https:// goes through libcurl (https_fetcher.h).
#include <cstddef>
#include <memory>

namespace qb {

inline constexpr std::size_t HttpRequestSize = 600;
inline constexpr std::size_t HttpHostSize = 450;

// Fills host (the text between "http://" and the first "/", port included) and the
// request; false when the URL is not http:// or the request does not fit.
bool BuildGetRequest(const char* url, char (&host)[HttpHostSize], char (&request)[HttpRequestSize]);

// Returns the body (from the empty line that ends the header) as a NUL-terminated
// text owned by the caller, or null with errorTag set to a constant tag.
// timeOutSeconds 0 takes Settings.HttpTimeOut; stopMarker, when given, ends the
// page as soon as it has arrived.
std::unique_ptr<char[]> FetchPage(const char* url, const char** errorTag, int timeOutSeconds,
                                  const char* stopMarker = nullptr);

}  // namespace qb
