#pragma once
// The one listening socket of the test servers and fuzz targets: TCP on a
// loopback address, on a port of the system's choice or a given one, closed
// on destruction. Header-only so that fuzz targets can use it without a test
// library.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qbtest {

class LoopbackListener {
 public:
  static constexpr int DefaultBacklog = 16;

  // address: a loopback address such as "127.0.0.9" or "::1"; port 0 lets the
  // system choose. Ok() tells whether it listens.
  explicit LoopbackListener(const char* address = "127.0.0.1", uint16_t port = 0,
                            int backlog = DefaultBacklog)
      : address_(address) {
    const bool v6 = address_.find(':') != std::string::npos;
    const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    sockaddr_in6 at6{};
    at6.sin6_family = AF_INET6;
    at6.sin6_port = htons(port);
    sockaddr* bound = v6 ? reinterpret_cast<sockaddr*>(&at6) : reinterpret_cast<sockaddr*>(&at);
    socklen_t length = v6 ? sizeof at6 : sizeof at;
    const bool parsed = v6 ? inet_pton(AF_INET6, address, &at6.sin6_addr) == 1
                           : inet_pton(AF_INET, address, &at.sin_addr) == 1;
    if (!parsed || bind(fd, bound, length) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, bound, &length) != 0) {
      ::close(fd);
      return;
    }
    fd_ = fd;
    endpoint_ = at;
    port_ = ntohs(v6 ? at6.sin6_port : at.sin_port);
  }
  ~LoopbackListener() { Close(); }
  LoopbackListener(LoopbackListener&& other) noexcept
      : address_(std::move(other.address_)),
        fd_(std::exchange(other.fd_, -1)),
        endpoint_(other.endpoint_),
        port_(other.port_) {}
  LoopbackListener& operator=(LoopbackListener&& other) noexcept {
    if (this != &other) {
      Close();
      address_ = std::move(other.address_);
      fd_ = std::exchange(other.fd_, -1);
      endpoint_ = other.endpoint_;
      port_ = other.port_;
    }
    return *this;
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The port it listens on (also after Close, for "nothing listens here").
  uint16_t Port() const { return port_; }
  const std::string& Address() const { return address_; }
  // address:port, for connect(); IPv4 only.
  const sockaddr_in& Endpoint() const { return endpoint_; }
  // scheme://address:port + rest, an IPv6 address in brackets
  std::string Url(const std::string& scheme, const std::string& rest) const {
    const bool v6 = address_.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + address_ + "]" : address_;
    return scheme + "://" + host + ":" + std::to_string(Port()) + rest;
  }

  // The next connection, with accept4's flags; blocks until one comes. -1 once
  // Shutdown has ended the wait (or on any error but an interrupted or
  // aborted handshake, which are skipped).
  int Accept(int flags = 0) const {
    for (;;) {
      const int fd = accept4(fd_, nullptr, nullptr, flags);
      if (fd >= 0 || (errno != EINTR && errno != ECONNABORTED)) return fd;
    }
  }

  // Wakes a thread blocked in Accept() on it (which then fails) without
  // closing the descriptor under it.
  void Shutdown() const {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  std::string address_;
  int fd_ = -1;
  sockaddr_in endpoint_{};
  uint16_t port_ = 0;
};

// A loopback port where nothing listens: one the system just handed out and
// took back.
inline uint16_t ClosedLoopbackPort(const char* address = "127.0.0.1") {
  return LoopbackListener(address).Port();
}

// A listener that never accepts, with its accept queue full: further
// connection attempts get no answer at all, so a client's connect can only
// end by its own time-out.
class FullLoopbackListener {
 public:
  FullLoopbackListener() : listener_("127.0.0.1", 0, 0) {
    if (!listener_.Ok()) return;
    // With a backlog of 0 the queue holds one connection; the second waits
    // in the handshake. The listener turns readable once the first is queued.
    for (int i = 0; i < 2; ++i) {
      queued_.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
      connect(queued_.back(), reinterpret_cast<const sockaddr*>(&listener_.Endpoint()),
              sizeof(sockaddr_in));
    }
    pollfd p{listener_.Fd(), POLLIN, 0};
    full_ = poll(&p, 1, 5000) == 1 && (p.revents & POLLIN);
  }
  ~FullLoopbackListener() {
    for (int fd : queued_) {
      if (fd >= 0) ::close(fd);
    }
  }
  FullLoopbackListener(const FullLoopbackListener&) = delete;
  FullLoopbackListener& operator=(const FullLoopbackListener&) = delete;

  bool Ok() const { return listener_.Ok() && full_; }
  uint16_t Port() const { return listener_.Port(); }

 private:
  LoopbackListener listener_;
  std::vector<int> queued_;
  bool full_ = false;
};

}  // namespace qbtest
