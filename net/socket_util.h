#pragma once
// Socket helpers shared by the HTTP and FTP clients.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "net/socket_address.h"
#include "net/unique_fd.h"

namespace qb {

// Sets SO_SNDTIMEO and SO_RCVTIMEO to the given milliseconds (0: no time-out).
void SetSocketTimeouts(int fd, int64_t milliseconds);
// Sends all of data (MSG_NOSIGNAL, retried after signals); false on error or time-out.
bool SendWhole(int fd, const char* data, std::size_t length);

// Waits until fd is readable (or has hung up); false on time-out, abort or
// error. timeoutMs <= 0 waits without a time bound, still watching abort.
bool WaitReadable(int fd, int timeoutMs, const std::atomic<bool>* abort = nullptr);

// A blocking TCP connection to address made within timeoutMs (<= 0: no time
// bound), given up as soon as *abort is set; invalid on failure.
// receiveBuffer > 0 caps the socket's receive buffer before the connection,
// which bounds what the peer can send before it is read. noSocket, when
// given, tells whether it failed for want of a socket (out of descriptors).
UniqueFd ConnectWithin(const SocketAddress& address, int timeoutMs,
                       const std::atomic<bool>* abort = nullptr, int receiveBuffer = 0,
                       bool* noSocket = nullptr);

}  // namespace qb
