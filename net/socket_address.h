#pragma once
// An IPv4 or IPv6 socket address, as the resolver gives it and as peers are
// compared: data connections are only ever made with the control peer's host.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace qb {

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  static SocketAddress From(const sockaddr* address, socklen_t length);
  // The local or the remote end of a connected socket; empty (length 0) on error.
  static SocketAddress LocalOf(int fd);
  static SocketAddress PeerOf(int fd);

  int Family() const { return storage.ss_family; }
  bool Empty() const { return length == 0; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
  uint16_t Port() const;  // host order
  void SetPort(uint16_t port);
  // The same host (family and address bytes), whatever the ports.
  bool SameHost(const SocketAddress& other) const;
  // The numeric host: "127.0.0.1", "::1".
  std::string HostText() const;
};

}  // namespace qb
