#pragma once
// The one way FTP and HTTP turn a host name or a numeric address into the
// addresses to connect to.
#include <netinet/in.h>

#include <string>
#include <vector>

namespace qb {

// IPv4 addresses of host in the resolver's order; empty when it has none.
std::vector<in_addr> ResolveHost(const std::string& host);

}  // namespace qb
