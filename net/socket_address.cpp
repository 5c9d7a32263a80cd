#include "net/socket_address.h"

#include <arpa/inet.h>

#include <cstring>

namespace qb {

SocketAddress SocketAddress::From(const sockaddr* address, socklen_t length) {
  SocketAddress a;
  if (!address || length <= 0 || static_cast<std::size_t>(length) > sizeof a.storage) return a;
  if (address->sa_family != AF_INET && address->sa_family != AF_INET6) return a;
  std::memcpy(&a.storage, address, static_cast<std::size_t>(length));
  a.length = length;
  return a;
}

SocketAddress SocketAddress::LocalOf(int fd) {
  sockaddr_storage s{};
  socklen_t length = sizeof s;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&s), &length) != 0) return {};
  return From(reinterpret_cast<sockaddr*>(&s), length);
}

SocketAddress SocketAddress::PeerOf(int fd) {
  sockaddr_storage s{};
  socklen_t length = sizeof s;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&s), &length) != 0) return {};
  return From(reinterpret_cast<sockaddr*>(&s), length);
}

uint16_t SocketAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  if (Family() == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  return 0;
}

void SocketAddress::SetPort(uint16_t port) {
  if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
  if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
}

bool SocketAddress::SameHost(const SocketAddress& other) const {
  if (Empty() || other.Empty() || Family() != other.Family()) return false;
  if (Family() == AF_INET) {
    return reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in*>(&other.storage)->sin_addr.s_addr;
  }
  return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr,
                     &reinterpret_cast<const sockaddr_in6*>(&other.storage)->sin6_addr,
                     sizeof(in6_addr)) == 0;
}

std::string SocketAddress::HostText() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
              sizeof text);
  } else if (Family() == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

}  // namespace qb
