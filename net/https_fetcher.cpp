#include "net/https_fetcher.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

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
  const char* stopMarker = nullptr;
  bool complete = false;  // the write callback ended the transfer on purpose
};

bool PageComplete(const std::string& text, const char* stopMarker) {
  return text.find("</body>") != std::string::npos || text.find("</BODY>") != std::string::npos ||
         (stopMarker && *stopMarker && text.find(stopMarker) != std::string::npos);
}

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->body.append(data, bytes);
  if (transfer->body.size() > PageLimit || PageComplete(transfer->body, transfer->stopMarker)) {
    transfer->complete = true;
    return 0;  // libcurl ends the transfer with a write error
  }
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

struct PostData {
  const std::string* body = nullptr;
  const char* contentType = nullptr;
};

std::unique_ptr<char[]> CurlPage(const char* url, const PostData& post, const char** errorTag,
                                 int timeOutSeconds, const char* stopMarker) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) {
    *errorTag = "Invalid_socket";
    return nullptr;
  }
  Transfer transfer;
  transfer.stopMarker = stopMarker;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url);
  // A POST may go to a plain-HTTP API; a GET of http:// takes the program's own client.
  const char* protocols = post.body ? "http,https" : "https";
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  if (post.body) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(post.body->size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, post.body->c_str());
    const std::string type = std::string("Content-Type: ") + post.contentType;
    headers.reset(curl_slist_append(nullptr, type.c_str()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, MaxRedirects);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Receive);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
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
  const bool cut = code == CURLE_WRITE_ERROR && transfer.complete;
  const bool stalledAfterEnough = (code == CURLE_OPERATION_TIMEDOUT) &&
                                  transfer.body.size() > EnoughReceived && status / 100 == 2;
  if (code != CURLE_OK && !cut && !stalledAfterEnough) {
    *errorTag = TagFor(code);
    return nullptr;
  }
  if (status < 200 || status >= 400) {
    *errorTag = "40x";
    return nullptr;
  }
  *errorTag = nullptr;
  std::unique_ptr<char[]> page(new char[transfer.body.size() + 1 + BodySlack]());
  std::memcpy(page.get(), transfer.body.data(), transfer.body.size());
  return page;
}

}  // namespace

std::unique_ptr<char[]> FetchHttpsPage(const char* url, const char** errorTag, int timeOutSeconds,
                                       const char* stopMarker) {
  return CurlPage(url, {}, errorTag, timeOutSeconds, stopMarker);
}

std::unique_ptr<char[]> PostPage(const char* url, const std::string& body, const char* contentType,
                                 const char** errorTag, int timeOutSeconds,
                                 const char* stopMarker) {
  return CurlPage(url, {&body, contentType}, errorTag, timeOutSeconds, stopMarker);
}

}  // namespace qb
