#include "net/socket_util.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

namespace qb {

namespace {
timeval ToTimeval(int64_t ms) {
  if (ms < 0) ms = 0;
  timeval tv;
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return tv;
}
}  // namespace

void SetSocketTimeouts(int fd, int64_t milliseconds) {
  const timeval tv = ToTimeval(milliseconds);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void SetReceiveTimeout(int fd, int64_t milliseconds) {
  const timeval tv = ToTimeval(milliseconds);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool SendWhole(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace qb
