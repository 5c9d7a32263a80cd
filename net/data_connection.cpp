#include "net/data_connection.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "net/socket_stream.h"
#include "net/socket_util.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number of at most digits characters at text[at]; advances at.
std::optional<uint32_t> NumberAt(std::string_view text, std::size_t& at, std::size_t digits) {
  const std::size_t begin = at;
  uint32_t value = 0;
  while (at < text.size() && IsDigit(text[at])) {
    if (at - begin == digits) return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(text[at] - '0');
    ++at;
  }
  if (at == begin) return std::nullopt;
  return value;
}

// Six comma-separated numbers of 0..255 starting at text[at].
std::optional<uint16_t> PasvNumbersAt(std::string_view text, std::size_t at) {
  uint32_t n[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != ',') return std::nullopt;
      ++at;
    }
    const std::optional<uint32_t> value = NumberAt(text, at, 3);
    if (!value || *value > 255) return std::nullopt;
    n[i] = *value;
  }
  const uint32_t port = n[4] * 256 + n[5];
  if (port == 0) return std::nullopt;
  return static_cast<uint16_t>(port);
}

}  // namespace

std::optional<uint16_t> ParsePasvReply(std::string_view line) {
  if (line.size() < 4 || line.substr(0, 3) != "227") return std::nullopt;
  // Servers differ in what surrounds the numbers; the first run of six wins.
  for (std::size_t at = 4; at < line.size(); ++at) {
    if (!IsDigit(line[at]) || IsDigit(line[at - 1])) continue;
    if (std::optional<uint16_t> port = PasvNumbersAt(line, at)) return port;
  }
  return std::nullopt;
}

std::optional<uint16_t> ParseEpsvReply(std::string_view line) {
  if (line.size() < 4 || line.substr(0, 3) != "229") return std::nullopt;
  const std::size_t open = line.find('(', 4);
  if (open == std::string_view::npos || open + 4 >= line.size()) return std::nullopt;
  const char d = line[open + 1];
  if (d < '!' || d > '~' || line[open + 2] != d || line[open + 3] != d) return std::nullopt;
  std::size_t at = open + 4;
  const std::optional<uint32_t> port = NumberAt(line, at, 5);
  if (!port || *port == 0 || *port > 65535) return std::nullopt;
  if (at + 1 >= line.size() || line[at] != d || line[at + 1] != ')') return std::nullopt;
  return static_cast<uint16_t>(*port);
}

std::string FormatPortCommand(uint32_t address, uint16_t port) {
  char text[64];
  std::snprintf(text, sizeof text, "PORT %u,%u,%u,%u,%u,%u", (address >> 24) & 255u,
                (address >> 16) & 255u, (address >> 8) & 255u, address & 255u, (port >> 8) & 255u,
                port & 255u);
  return text;
}

std::string FormatEprtCommand(const SocketAddress& address) {
  return "EPRT |" + std::string(address.Family() == AF_INET6 ? "2" : "1") + "|" +
         address.HostText() + "|" + std::to_string(address.Port()) + "|";
}

PassiveOutcome OpenPassiveData(FtpControl& control, const SocketAddress& peer, int timeoutMs,
                               const std::atomic<bool>* abort, int receiveBuffer,
                               std::unique_ptr<ByteStream>& data, FtpReply& lastReply) {
  // EPSV is asked second on IPv4: some NAT routers mangle it, and PASV's
  // address is ignored anyway.
  const bool v6 = peer.Family() == AF_INET6;
  const char* order[2] = {v6 ? "EPSV" : "PASV", v6 ? "PASV" : "EPSV"};
  for (const char* command : order) {
    if (!control.Command(command, lastReply)) return PassiveOutcome::Failed;
    const char kind = lastReply.Kind();
    if (kind == '4' || kind == '5') continue;
    const bool epsv = command[0] == 'E';
    const std::optional<uint16_t> port =
        epsv ? ParseEpsvReply(lastReply.line) : ParsePasvReply(lastReply.line);
    if (!port) return PassiveOutcome::Failed;
    // Only the control peer's host, whatever address the reply names.
    SocketAddress to = peer;
    to.SetPort(*port);
    data = ConnectStream(to, timeoutMs, abort, receiveBuffer);
    return data ? PassiveOutcome::Connected : PassiveOutcome::Failed;
  }
  return PassiveOutcome::Refused;
}

UniqueFd OpenActiveData(FtpControl& control) {
  // The listener takes the control connection's local address, which is the
  // address the server must reach anyway; no wider exposure than that.
  SocketAddress local = SocketAddress::LocalOf(control.Fd());
  if (local.Empty()) return {};
  UniqueFd listener(socket(local.Family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!listener.valid()) return {};
  local.SetPort(0);
  if (bind(listener.get(), local.Get(), local.length) != 0 || listen(listener.get(), 1) != 0)
    return {};
  const SocketAddress bound = SocketAddress::LocalOf(listener.get());
  if (bound.Empty()) return {};
  std::string command;
  if (bound.Family() == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&bound.storage);
    command = FormatPortCommand(ntohl(v4->sin_addr.s_addr), bound.Port());
  } else {
    command = FormatEprtCommand(bound);
  }
  FtpReply reply;
  if (!control.Command(command, reply) || reply.Kind() != '2') return {};
  return listener;
}

UniqueFd AcceptData(int listener, const SocketAddress& server, int timeoutMs,
                    const std::atomic<bool>* abort) {
  const bool bounded = timeoutMs > 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int left = 0;
    if (bounded) {
      left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (left <= 0) return {};
    }
    if (!WaitReadable(listener, left, abort)) return {};
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    UniqueFd fd(accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    if (!fd.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return {};
    }
    // Only the server itself may deliver the listing; any other peer is closed unread.
    if (SocketAddress::From(reinterpret_cast<sockaddr*>(&peer), length).SameHost(server)) return fd;
  }
}

std::size_t ReceiveData(ByteStream& data, char* buf, std::size_t size, int timeoutMs,
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
    const std::size_t room = size - held;
    const ssize_t n =
        data.ReceiveSome(buf + held, room < ReadChunk ? room : ReadChunk, wait, abort);
    if (n == ByteStream::Again) continue;
    if (n <= 0) break;
    held += static_cast<std::size_t>(n);
  }
  return held;
}

}  // namespace qb
