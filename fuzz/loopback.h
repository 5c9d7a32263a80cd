#pragma once
// A listening socket on 127.0.0.1 for targets that need a real peer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "fuzz/fuzz_check.h"

namespace qbfuzz {

inline int LoopbackListener(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  FUZZ_CHECK(fd >= 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  FUZZ_CHECK(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0);
  FUZZ_CHECK(getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0);
  FUZZ_CHECK(listen(fd, 4) == 0);
  port = ntohs(at.sin_port);
  return fd;
}

}  // namespace qbfuzz
