#pragma once
// The one way FTP and HTTP turn a host name or a numeric address into the
// addresses to connect to.
#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/socket_address.h"

namespace qb {

// Every address of host, IPv6 and IPv4, in the resolver's order (which puts
// the preferred family first), each with port set; empty when it has none.
std::vector<SocketAddress> ResolveAddresses(const std::string& host, uint16_t port);

}  // namespace qb
