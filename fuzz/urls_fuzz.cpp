// Splitting ftp:// URLs and building HTTP requests from arbitrary URL text.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "net/ftp_url.h"
#include "net/http_fetcher.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  char* url = qbfuzz::ExactText(data, size);
  {
    FtpUrlParts parts;
    ParseFtpUrl(url, parts);
    FUZZ_CHECK(strnlen(parts.user, sizeof parts.user) < sizeof parts.user);
    FUZZ_CHECK(strnlen(parts.password, sizeof parts.password) < sizeof parts.password);
    FUZZ_CHECK(strnlen(parts.host, sizeof parts.host) < sizeof parts.host);
    FUZZ_CHECK(strnlen(parts.path, sizeof parts.path) < sizeof parts.path);
    FUZZ_CHECK(parts.path[0] == '/');
    // The host ends at the first ":" or "/" after the login part, unless it is a
    // bracketed address, which holds only hex digits, colons and dots.
    FUZZ_CHECK(std::strchr(parts.host, '/') == nullptr);
    // Host and port come from the authority alone: before the first "/".
    FUZZ_CHECK(std::strchr(parts.host, '@') == nullptr);
    const char* rest = url + strnlen(url, parts.implicitTls ? 7 : 6);  // past the scheme
    const std::size_t authority = std::strcspn(rest, "/");
    FUZZ_CHECK(std::string_view(rest, authority).find(parts.host) != std::string_view::npos);
    if (const char* port = std::strchr(rest, ':'); port && port > rest + authority)
      FUZZ_CHECK(parts.port == (parts.implicitTls ? 990 : 21) ||
                 std::memchr(rest, ':', authority) != nullptr);
    if (std::strchr(parts.host, ':') != nullptr)
      FUZZ_CHECK(std::strspn(parts.host, "0123456789abcdefABCDEF:.") == std::strlen(parts.host));
  }
  {
    char host[HttpHostSize];
    char request[HttpRequestSize];
    const bool ok = BuildGetRequest(url, host, request);
    if (strncasecmp(url, "http://", 7) != 0) FUZZ_CHECK(!ok);
    if (ok) {
      FUZZ_CHECK(strnlen(host, sizeof host) < sizeof host);
      FUZZ_CHECK(std::strchr(host, '/') == nullptr);
      const std::size_t length = strnlen(request, sizeof request);
      FUZZ_CHECK(length < sizeof request);
      FUZZ_CHECK(std::strncmp(request, "GET /", 5) == 0);
      FUZZ_CHECK(length >= 4 && std::strcmp(request + length - 4, "\r\n\r\n") == 0);
    }
  }
  std::free(url);
  return 0;
}
