#include "net/https_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

#include "core/text_helpers.h"

namespace qb {

namespace {

// The same bounds as the plain client: a page is cut once it passes PageLimit.
constexpr std::size_t PageLimit = 91808;
constexpr std::size_t EnoughReceived = 1024;
constexpr std::size_t BodySlack = 8;
constexpr int PageTimeOuts = 6;
constexpr long MaxRedirects = 5;

struct Transfer {
  std::string body;
  std::string retryAfter;  // the last response's Retry-After value
  const char* stopMarker = nullptr;
  std::size_t wholeUpTo = 0;  // see PageRequest
  bool complete = false;      // the write callback ended the transfer on purpose
  bool tooLarge = false;
};

bool PageComplete(const std::string& text, const char* stopMarker) {
  return text.find("</body>") != std::string::npos || text.find("</BODY>") != std::string::npos ||
         (stopMarker && *stopMarker && text.find(stopMarker) != std::string::npos);
}

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer->wholeUpTo > 0) {
    if (bytes > transfer->wholeUpTo - std::min(transfer->wholeUpTo, transfer->body.size())) {
      transfer->tooLarge = true;
      return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
  }
  transfer->body.append(data, bytes);
  if (transfer->body.size() > PageLimit || PageComplete(transfer->body, transfer->stopMarker)) {
    transfer->complete = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  return bytes;
}

std::size_t ReceiveHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  const std::string_view line(data, bytes);
  // A redirect's header is not the last response's.
  if (line.substr(0, 5) == "HTTP/") transfer->retryAfter.clear();
  if (std::optional<std::string> value = RetryAfterIn(line))
    transfer->retryAfter = std::move(*value);
  return bytes;
}

const char* TagFor(CURLcode code) {
  switch (code) {
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "ExtractURL";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "host_name";
    case CURLE_COULDNT_CONNECT:
      return "Connect";
    case CURLE_OPERATION_TIMEDOUT:
      return "timeout";
    case CURLE_SEND_ERROR:
      return "Send";
    case CURLE_GOT_NOTHING:
      return "NRead=0";
    case CURLE_WEIRD_SERVER_REPLY:
      return "NoSpace";
    case CURLE_TOO_MANY_REDIRECTS:
      return "redirects";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
      return "TLS";
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
      return "Invalid_socket";
    default:
      return "recv";
  }
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

namespace {

void InitialiseCurl() {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A Retry-After value in seconds: a count as it stands, a date from now; -1
// when it is neither.
int RetrySeconds(const std::string& value) {
  if (value.empty()) return -1;
  if (value.find_first_not_of("0123456789") == std::string::npos)
    return value.size() > 9 ? 999999999 : static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
  InitialiseCurl();
  const time_t at = curl_getdate(value.c_str(), nullptr);
  if (at < 0) return -1;
  const time_t now = std::time(nullptr);
  return at <= now ? 0 : static_cast<int>(std::min<time_t>(at - now, 999999999));
}

PageAnswer CurlPage(const PageRequest& request, bool anyHttp, int timeOutSeconds,
                    const char* stopMarker) {
  PageAnswer answer;
  InitialiseCurl();
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) {
    answer.tag = "Invalid_socket";
    return answer;
  }
  Transfer transfer;
  transfer.stopMarker = stopMarker;
  transfer.wholeUpTo = request.wholeUpTo;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  // A POST or an API with a header may be plain HTTP; a plain GET of http://
  // takes the program's own client.
  const char* protocols = anyHttp ? "http,https" : "https";
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  const auto addHeader = [&headers](const std::string& line) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (grown) {
      (void)headers.release();
      headers.reset(grown);
    }
  };
  if (request.post) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.c_str());
    addHeader("Content-Type: " + request.contentType);
  }
  if (!request.header.empty()) addHeader(request.header);
  if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  if (!request.basicAuth.empty()) {
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_USERPWD, request.basicAuth.c_str());
    // Credentials go to the host asked, not to one a redirect names.
    curl_easy_setopt(h, CURLOPT_UNRESTRICTED_AUTH, 0L);
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, MaxRedirects);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Receive);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReceiveHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  if (timeOutSeconds > 0) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeOutSeconds));
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(timeOutSeconds) * PageTimeOuts);
    // A server that stops sending ends the page as a read that timed out would.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeOutSeconds));
  }
  if (const char* ca = std::getenv(HttpsCaFileVariable); ca && *ca)
    curl_easy_setopt(h, CURLOPT_CAINFO, ca);

  const CURLcode code = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  answer.status = static_cast<int>(status);
  answer.retryAfterSeconds = RetrySeconds(transfer.retryAfter);
  if (transfer.tooLarge) {
    answer.tag = TagTooLarge;
    return answer;
  }
  const bool cut = code == CURLE_WRITE_ERROR && transfer.complete;
  // A page that stalls after enough of it is read as far as it came; a whole
  // body must come whole.
  const bool stalledAfterEnough = code == CURLE_OPERATION_TIMEDOUT && transfer.wholeUpTo == 0 &&
                                  transfer.body.size() > EnoughReceived && status / 100 == 2;
  if (code != CURLE_OK && !cut && !stalledAfterEnough) {
    answer.tag = TagFor(code);
    return answer;
  }
  if (status < 200 || status >= 400) {
    answer.tag = "40x";
    return answer;
  }
  answer.page = std::make_unique<char[]>(transfer.body.size() + 1 + BodySlack);
  std::memcpy(answer.page.get(), transfer.body.data(), transfer.body.size());
  return answer;
}

std::unique_ptr<char[]> PageOf(PageAnswer answer, const char** errorTag) {
  *errorTag = answer.tag;
  return std::move(answer.page);
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::unique_ptr<char[]> FetchHttpsPage(const char* url, const char** errorTag, int timeOutSeconds,
                                       const char* stopMarker) {
  PageRequest request;
  request.url = url;
  return PageOf(CurlPage(request, false, timeOutSeconds, stopMarker), errorTag);
}

PageAnswer AskPage(const PageRequest& request, int timeOutSeconds, const char* stopMarker) {
  if (HasLineBreak(request.header) || HasLineBreak(request.basicAuth) ||
      HasLineBreak(request.url)) {
    PageAnswer refused;
    refused.tag = "ExtractURL";
    return refused;
  }
  const bool plain = !request.post && request.header.empty() && request.basicAuth.empty();
  const bool https = EqualNoCase(std::string_view{request.url}.substr(0, 8), "https://");
  if (plain && !https && request.wholeUpTo == 0) {
    PageAnswer answer;
    HttpStatusInfo info;
    answer.page = FetchPage(request.url.c_str(), &answer.tag, timeOutSeconds, stopMarker, &info);
    answer.status = info.status;
    answer.retryAfterSeconds = RetrySeconds(info.retryAfter);
    return answer;
  }
  // A plain GET of https:// is not redirected to http://.
  return CurlPage(request, !plain || !https, timeOutSeconds, stopMarker);
}

}  // namespace qb
