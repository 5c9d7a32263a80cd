#include "net/socket_util.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>

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

namespace {

using Clock = std::chrono::steady_clock;

// Longest a wait goes without looking at its abort flag.
constexpr int AbortCheckMs = 50;

// Polls fd for events in slices until the deadline; the revents, or 0 on
// time-out, abort or error.
short PollWithin(int fd, short events, int timeoutMs, const std::atomic<bool>* abort) {
  const bool bounded = timeoutMs > 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (abort && *abort) return 0;
    int slice = AbortCheckMs;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return 0;
      if (left < slice) slice = static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, slice);
    if (r < 0 && errno != EINTR) return 0;
    if (r > 0) return p.revents;
  }
}

}  // namespace

bool WaitReadable(int fd, int timeoutMs, const std::atomic<bool>* abort) {
  return PollWithin(fd, POLLIN, timeoutMs, abort) != 0;
}

UniqueFd ConnectWithin(const SocketAddress& address, int timeoutMs, const std::atomic<bool>* abort,
                       int receiveBuffer, bool* noSocket) {
  if (noSocket) *noSocket = false;
  if (address.Empty()) return {};
  UniqueFd fd(socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
  if (!fd.valid()) {
    if (noSocket) *noSocket = true;
    return {};
  }
  if (receiveBuffer > 0)
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  if (connect(fd.get(), address.Get(), address.length) != 0) {
    if (errno != EINPROGRESS) return {};
    if ((PollWithin(fd.get(), POLLOUT, timeoutMs, abort) & POLLOUT) == 0) return {};
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return {};
  }
  const int flags = fcntl(fd.get(), F_GETFL);
  if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return {};
  return fd;
}

}  // namespace qb
