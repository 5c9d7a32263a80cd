#pragma once
// Socket helpers shared by the HTTP and FTP clients.
#include <cstddef>
#include <cstdint>

namespace qb {

// Sets SO_SNDTIMEO and SO_RCVTIMEO to the given milliseconds (0: no time-out).
void SetSocketTimeouts(int fd, int64_t milliseconds);
// Sets only SO_RCVTIMEO.
void SetReceiveTimeout(int fd, int64_t milliseconds);
// Sends all of data (MSG_NOSIGNAL, retried after signals); false on error or time-out.
bool SendWhole(int fd, const char* data, std::size_t length);

}  // namespace qb
