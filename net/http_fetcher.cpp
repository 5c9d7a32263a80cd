#include "net/http_fetcher.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "core/text_helpers.h"
#include "net/ftp_control.h"
#include "net/https_fetcher.h"
#include "net/resolver.h"
#include "net/socket_util.h"
#include "net/unique_fd.h"

namespace qb {

namespace {

constexpr std::size_t ReceiveBufferSize = 100000;
constexpr int ReceiveLimit = 99488;  // leaves room for the terminator
constexpr int ReadChunk = 8192;
constexpr int PageLimit = 91808;
// A failed read after this much is taken as the end of a page whose server keeps
// the connection open.
constexpr int EnoughReceived = 1024;
constexpr std::size_t BodySlack = 8;
// The whole page may take this many time-outs.
constexpr int PageTimeOuts = 6;

const char* const TagExtractUrl = "ExtractURL";
const char* const TagInvalidSocket = "Invalid_socket";
const char* const TagHostName = "host_name";
const char* const TagConnect = "Connect";
const char* const TagSend = "Send";
const char* const TagTimeout = "timeout";
const char* const TagRecv = "recv";
const char* const TagNothingRead = "NRead=0";
const char* const TagNoSpace = "NoSpace";
const char* const TagStatus = "40x";
const char* const TagNoHeaderEnd = "NoCRLF";

bool HasPrefix(const char* url, const char* prefix) {
  for (; *prefix; ++url, ++prefix) {
    if (AsciiLower(*url) != *prefix) return false;  // stops at the terminator too
  }
  return true;
}

bool HasHttpPrefix(const char* url) { return HasPrefix(url, "http://"); }

// Splits "name[:port]" or "[address][:port]"; false for an empty name or a port
// that is not 1..65535.
bool SplitHostPort(const char* host, std::string& name, uint16_t& port) {
  const char* rest = nullptr;  // ":port", or the end
  if (*host == '[') {
    const char* close = std::strchr(host, ']');
    if (!close) return false;
    name.assign(host + 1, close);
    rest = close + 1;
    if (*rest != '\0' && *rest != ':') return false;
  } else {
    const char* colon = std::strchr(host, ':');
    rest = colon ? colon : host + std::strlen(host);
    name.assign(host, rest);
  }
  if (name.empty()) return false;
  port = 80;
  if (*rest == '\0') return true;
  const char* digits = rest + 1;
  if (!*digits) return false;
  long value = 0;
  for (const char* p = digits; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// Whether the page's end marker has arrived; only what came since fresh (less a
// marker's length) is searched, so a server sending byte by byte costs no more
// than one sending it whole.
bool PageComplete(const char* text, int fresh, const char* stopMarker) {
  const std::size_t stopLength = stopMarker ? std::strlen(stopMarker) : 0;
  const std::size_t overlap = std::max<std::size_t>(sizeof "</body>", stopLength);
  const char* from = text + (static_cast<std::size_t>(fresh) > overlap ? fresh - overlap : 0);
  // Measured once for all three markers; like the page, it ends at its first NUL.
  const std::string_view recent(from);
  return recent.find("</body>") != std::string_view::npos ||
         recent.find("</BODY>") != std::string_view::npos ||
         (stopLength > 0 && recent.find(stopMarker) != std::string_view::npos);
}

// From the status line's code on to the header's end: the code, and the
// Retry-After value when a header line names it (case ignored).
void ReadStatusInfo(std::string_view head, HttpStatusInfo& info) {
  info = {};
  for (std::size_t i = 0; i < head.size() && i < 3 && head[i] >= '0' && head[i] <= '9'; ++i)
    info.status = info.status * 10 + (head[i] - '0');
  for (std::size_t line = head.find('\n'); line != std::string_view::npos;
       line = head.find('\n', line + 1)) {
    const std::string_view rest = head.substr(line + 1);
    if (std::optional<std::string> value =
            RetryAfterIn(rest.substr(0, rest.find_first_of("\r\n")))) {
      info.retryAfter = std::move(*value);
      return;
    }
  }
}

}  // namespace

std::optional<std::string> RetryAfterIn(std::string_view line) {
  constexpr std::string_view Name = "retry-after:";
  if (line.size() < Name.size() || !EqualNoCase(line.substr(0, Name.size()), Name))
    return std::nullopt;
  line.remove_prefix(Name.size());
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  return std::string(line.substr(0, 64));
}

bool BuildGetRequest(const char* url, char (&host)[HttpHostSize],
                     char (&request)[HttpRequestSize]) {
  if (!url || !HasHttpPrefix(url)) return false;
  CopyText(host, sizeof host, url + 7);
  const char* path = "";
  if (char* slash = std::strchr(host, '/')) {
    *slash = '\0';
    path = url + 7 + (slash - host) + 1;
  }
  const int length = std::snprintf(
      request, sizeof request,
      "GET /%s HTTP/1.1\r\nHost: %s\r\n"
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, image/png, */*\r\n\r\n",
      path, host);
  return length > 0 && static_cast<std::size_t>(length) < sizeof request;
}

std::unique_ptr<char[]> FetchPage(const char* url, const char** errorTag, int timeOutSeconds,
                                  const char* stopMarker, HttpStatusInfo* info) {
  const char* unused = nullptr;
  if (!errorTag) errorTag = &unused;
  if (url && HasPrefix(url, "https://")) {
    const int seconds = timeOutSeconds != 0 ? timeOutSeconds : Settings.HttpTimeOut.load();
    return FetchHttpsPage(url, errorTag, seconds, stopMarker);
  }
  char host[HttpHostSize];
  char request[HttpRequestSize];
  if (!BuildGetRequest(url, host, request)) {
    *errorTag = TagExtractUrl;
    return nullptr;
  }
  *errorTag = nullptr;

  const int seconds = timeOutSeconds != 0 ? timeOutSeconds : Settings.HttpTimeOut.load();
  std::string name;
  uint16_t port = 80;
  std::vector<SocketAddress> addresses;
  if (SplitHostPort(host, name, port)) addresses = ResolveAddresses(name, port);
  if (addresses.empty()) {
    *errorTag = TagHostName;
    return nullptr;
  }
  // Each address in turn, all of them within the one time-out.
  const auto setupEnd =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMillis(seconds));
  UniqueFd socketFd;
  bool noSocket = false;
  for (const SocketAddress& address : addresses) {
    int left = 0;
    if (seconds > 0) {
      left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  setupEnd - std::chrono::steady_clock::now())
                                  .count());
      if (left <= 0) break;
    }
    socketFd = ConnectWithin(address, left, nullptr, 0, &noSocket);
    if (socketFd.valid() || noSocket) break;
  }
  if (!socketFd.valid()) {
    *errorTag = noSocket ? TagInvalidSocket : TagConnect;
    return nullptr;
  }
  const int fd = socketFd.get();
  SetSocketTimeouts(fd, static_cast<int64_t>(seconds) * 1000);
  if (!SendWhole(fd, request, std::strlen(request))) {
    *errorTag = TagSend;
    return nullptr;
  }

  return ReadHttpResponse([fd](char* into, std::size_t room) { return recv(fd, into, room, 0); },
                          seconds, stopMarker, errorTag, info);
}

std::unique_ptr<char[]> ReadHttpResponse(const HttpReader& read, int seconds,
                                         const char* stopMarker, const char** errorTag,
                                         HttpStatusInfo* info) {
  const char* unused = nullptr;
  if (!errorTag) errorTag = &unused;
  *errorTag = nullptr;
  // Terminated after every read rather than zeroed whole: the end markers are
  // searched as text.
  std::unique_ptr<char[]> received(new char[ReceiveBufferSize]);
  received[0] = '\0';
  // A server that trickles bytes keeps every single read inside the time-out, so
  // the page as a whole is bounded too; running past that ends it as a read
  // that timed out would.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(int64_t{seconds} * PageTimeOuts);
  char* text = received.get();
  int count = 0;
  for (;;) {
    const int want = std::min(ReadChunk, ReceiveLimit - count);
    if (want <= 0) break;
    errno = 0;
    const ssize_t got = read(text + count, static_cast<std::size_t>(want));
    const int readError = errno;
    if (got == 0) break;
    if (got > 0) {
      const int fresh = count;
      count += static_cast<int>(got);
      text[count] = '\0';
      if (PageComplete(text, fresh, stopMarker) || count > PageLimit) break;
    }
    const bool overdue = seconds > 0 && std::chrono::steady_clock::now() >= deadline;
    if (!overdue && (got > 0 || readError == EINTR)) continue;
    if (count > EnoughReceived) break;
    const bool timedOut = overdue || readError == EAGAIN || readError == EWOULDBLOCK;
    *errorTag = timedOut ? TagTimeout : TagRecv;
    return nullptr;
  }
  text[count] = '\0';

  if (count == 0) *errorTag = TagNothingRead;
  // The response is text: it ends at its first NUL. Measured once, and the
  // header end searched once per form, however large the page.
  const std::string_view response(text);
  const std::size_t space = response.find(' ');
  if (space == std::string_view::npos) {
    if (!*errorTag) *errorTag = TagNoSpace;
  } else if (space + 1 == response.size() ||
             (response[space + 1] != '2' && response[space + 1] != '3')) {
    if (!*errorTag) *errorTag = TagStatus;
  }
  const std::size_t separator = std::min(response.find("\r\n\r\n"), response.find("\n\n"));
  if (info && space != std::string_view::npos)
    ReadStatusInfo(
        response.substr(space + 1, separator == std::string_view::npos ? std::string_view::npos
                                                                       : separator - space - 1),
        *info);
  if (separator == std::string_view::npos && !*errorTag) *errorTag = TagNoHeaderEnd;
  if (*errorTag) return nullptr;

  const std::string_view body = response.substr(separator + 2);
  std::unique_ptr<char[]> page(new char[body.size() + 1 + BodySlack]);
  std::memcpy(page.get(), body.data(), body.size());
  std::memset(page.get() + body.size(), 0, 1 + BodySlack);
  return page;
}

}  // namespace qb
