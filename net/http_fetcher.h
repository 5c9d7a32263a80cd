#pragma once
// Blocking page fetches: the program's own HTTP/1.1 client for http://, one GET
// per call and one connection; https:// goes through libcurl (https_fetcher.h).
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
// What a response said besides its body, for a caller that heeds it.
struct HttpStatusInfo {
  int status = 0;          // the status line's code; 0 when none came
  std::string retryAfter;  // the Retry-After header's value as sent, else empty
};

// The value of a "Retry-After:" header line (name's case ignored), blanks and
// line end trimmed, at most 64 bytes; nothing when the line is another header.
std::optional<std::string> RetryAfterIn(std::string_view line);

std::unique_ptr<char[]> FetchPage(const char* url, const char** errorTag, int timeOutSeconds,
                                  const char* stopMarker = nullptr, HttpStatusInfo* info = nullptr);

// recv's contract: bytes read, 0 at the end, -1 with errno set.
using HttpReader = std::function<ssize_t(char* into, std::size_t room)>;

// FetchPage's second half, once the request is sent: reads the response through
// read and returns its body as FetchPage does. seconds bounds the whole read
// (six of them; 0 or less: no bound).
std::unique_ptr<char[]> ReadHttpResponse(const HttpReader& read, int seconds,
                                         const char* stopMarker, const char** errorTag,
                                         HttpStatusInfo* info = nullptr);

}  // namespace qb
