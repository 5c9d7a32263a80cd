#include "net/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace qb {

std::vector<SocketAddress> ResolveAddresses(const std::string& host, uint16_t port) {
  std::vector<SocketAddress> found;
  if (host.empty()) return found;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // An address literal is taken as it is, before AI_ADDRCONFIG, which asks the
  // kernel for the configured families on every call and would hide loopback
  // literals such as "::1" on a host without an address of that family.
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  int status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (status != 0) {
    hints.ai_flags = AI_ADDRCONFIG;
    status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  }
  if (status != 0) return found;
  for (const addrinfo* a = list; a; a = a->ai_next) {
    SocketAddress address = SocketAddress::From(a->ai_addr, a->ai_addrlen);
    if (address.Empty()) continue;
    address.SetPort(port);
    found.push_back(address);
  }
  freeaddrinfo(list);
  return found;
}

}  // namespace qb
