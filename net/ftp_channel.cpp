#include "net/ftp_channel.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/settings.h"
#include "core/text_helpers.h"
#include "net/socket_util.h"
#include "net/unique_fd.h"

namespace qb {

FtpTimingData FtpTiming;

namespace {

// Longest a blocking wait goes without looking at its abort flag.
constexpr int AbortCheckMs = 50;

bool IsFinalReplyLine(const char* line, std::size_t length) {
  return length >= 4 && line[0] >= '1' && line[0] <= '9' && line[3] == ' ';
}

void CopyLine(std::span<char> out, const char* line, std::size_t length) {
  if (out.empty()) return;
  const std::size_t n = length < out.size() - 1 ? length : out.size() - 1;
  std::memcpy(out.data(), line, n);
  out[n] = '\0';
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

using Clock = std::chrono::steady_clock;

// Milliseconds to wait in the next poll slice; -1 when the deadline has passed.
int NextSlice(bool bounded, Clock::time_point deadline) {
  if (!bounded) return AbortCheckMs;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return -1;
  return left < AbortCheckMs ? static_cast<int>(left) : AbortCheckMs;
}

// Waits until fd is readable; false on time-out, abort or error.
bool WaitReadable(int fd, int timeoutMs, const std::atomic<bool>* abort) {
  const bool bounded = timeoutMs > 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (abort && *abort) return false;
    const int slice = NextSlice(bounded, deadline);
    if (slice < 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, slice);
    if (r < 0 && errno != EINTR) return false;
    if (r > 0) return true;
  }
}

}  // namespace

int TimeoutMillis(int32_t seconds) {
  if (seconds <= 0) return 0;
  const int64_t ms = int64_t{seconds} * 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

char* ReadReply(int fd, char* buf, std::size_t size, std::span<char> replyLine) {
  std::memset(buf, 0, size);
  // Replies are not parsed as they arrive: everything the server says until it
  // is silent for the settle time is one answer, so greetings still arriving,
  // multi-line banners and 150-then-226 pairs all end up in one read.
  const int settle = FtpTiming.settleMs;
  std::this_thread::sleep_for(std::chrono::milliseconds(settle));
  std::size_t held = 0;
  char* last = nullptr;
  bool shortened = false;
  // A server that never falls silent for the settle time would keep the reply
  // open until the buffer fills; the collection as a whole gets the same bound
  // as a data transfer.
  constexpr int64_t ReplyTimeOuts = 6;
  const int64_t timeoutSeconds = Settings.HttpTimeOut;
  Clock::time_point deadline{};
  for (;;) {
    if (size < held + 8 + 1) break;  // no room left (8 bytes stay spare)
    if (shortened && timeoutSeconds > 0 && Clock::now() >= deadline) break;
    const ssize_t n = recv(fd, buf + held, size - held - 8, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    held += static_cast<std::size_t>(n);
    if (!shortened) {
      SetReceiveTimeout(fd, settle);
      shortened = true;
      deadline = Clock::now() + std::chrono::seconds(timeoutSeconds * ReplyTimeOuts);
    }
    // Only lines whose "\r\n" has arrived count; the last final one wins.
    char* line = buf;
    for (char* end; (end = std::strstr(line, "\r\n")) != nullptr; line = end + 2) {
      const std::size_t length = static_cast<std::size_t>(end - line);
      if (IsFinalReplyLine(line, length)) {
        last = line;
        CopyLine(replyLine, line, length);
      }
    }
  }
  if (shortened) SetReceiveTimeout(fd, int64_t{Settings.HttpTimeOut} * 1000);
  return last;
}

bool SendCommand(int fd, const char* command, const char* expect, const char* alternative,
                 std::span<char> replyLine, std::span<char> replyText) {
  if (!SendWhole(fd, command, std::strlen(command))) return false;
  char reply[CommandReplySize];
  const char* line = ReadReply(fd, reply, sizeof reply, replyLine);
  if (!line) return false;
  if (!StartsWith(line, expect) && !(alternative && StartsWith(line, alternative))) return false;
  if (!replyText.empty()) {
    CopyText(replyText.data(), replyText.size() < ReplyTextSize ? replyText.size() : ReplyTextSize,
             reply);
  }
  return true;
}

void ParseFtpUrl(const char* url, FtpUrlParts& parts) {
  char work[500];
  CopyText(work, sizeof work, url);
  const char* rest = work + strnlen(work, 6);  // past "ftp://"
  const char* at = std::strchr(rest, '@');
  const char* colon = std::strchr(rest, ':');
  const char* hostPart = rest;
  if (at && colon && colon < at) {
    CopyRange(parts.user, sizeof parts.user, rest, colon);
    CopyRange(parts.password, sizeof parts.password, colon + 1, at);
    hostPart = at + 1;
  } else {
    CopyText(parts.user, sizeof parts.user, "anonymous");
    CopyText(parts.password, sizeof parts.password, AnonymousPassword);
  }
  const char* portColon = std::strchr(hostPart, ':');
  const char* slash = std::strchr(hostPart, '/');
  const char* hostEnd;
  if (portColon && (!slash || portColon < slash)) {
    parts.port = AtoL(portColon + 1);
    hostEnd = portColon;
  } else {
    parts.port = 21;
    hostEnd = slash ? slash : hostPart + std::strlen(hostPart);
  }
  CopyText(parts.path, sizeof parts.path, slash ? slash : "/");
  CopyRange(parts.host, sizeof parts.host, hostPart, hostEnd);
}

void FormatPortCommand(uint32_t address, uint16_t port, char* out, std::size_t size) {
  std::snprintf(out, size, "PORT %u,%u,%u,%u,%u,%u\r\n", (address >> 24) & 255u,
                (address >> 16) & 255u, (address >> 8) & 255u, address & 255u, (port >> 8) & 255u,
                port & 255u);
}

int OpenActiveData(int control) {
  // The listener takes the control connection's local address, which is the
  // address the server must reach anyway; no wider exposure than that.
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(control, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      local.sin_family != AF_INET) {
    local = sockaddr_in{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  UniqueFd listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener.valid()) return -1;
  sockaddr_in bound = local;
  bound.sin_port = 0;
  length = sizeof bound;
  if (bind(listener.get(), reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
      getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
      listen(listener.get(), 1) != 0)
    return -1;
  char command[64];
  FormatPortCommand(ntohl(local.sin_addr.s_addr), ntohs(bound.sin_port), command, sizeof command);
  if (!SendCommand(control, command, "2")) return -1;
  return listener.release();
}

int AcceptData(int listener, const in_addr& server, int timeoutMs, const std::atomic<bool>* abort) {
  const bool bounded = timeoutMs > 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int left =
        bounded ? static_cast<int>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                          .count())
                : 0;
    if (bounded && left <= 0) return -1;
    if (!WaitReadable(listener, bounded ? left : 0, abort)) return -1;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd fd(accept(listener, reinterpret_cast<sockaddr*>(&peer), &length));
    if (!fd.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return -1;
    }
    // Only the server itself may deliver the listing; any other peer is closed unread.
    if (peer.sin_family == AF_INET && peer.sin_addr.s_addr == server.s_addr) return fd.release();
  }
}

std::size_t ReceiveData(int fd, char* buf, std::size_t size, int timeoutMs,
                        const std::atomic<bool>* abort) {
  constexpr std::size_t ReadChunk = 8192;
  // A peer trickling bytes keeps every read inside the time-out; the transfer
  // as a whole is bounded too and ends with what has arrived.
  constexpr int64_t TransferTimeOuts = 6;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs * TransferTimeOuts);
  std::size_t held = 0;
  while (held < size) {
    int wait = timeoutMs;
    if (timeoutMs > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      if (left < wait) wait = static_cast<int>(left);
    }
    if (!WaitReadable(fd, wait, abort)) break;
    const std::size_t room = size - held;
    const ssize_t n = recv(fd, buf + held, room < ReadChunk ? room : ReadChunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    held += static_cast<std::size_t>(n);
  }
  return held;
}

}  // namespace qb
