#pragma once
// Socket helpers shared by the HTTP and FTP clients.
#include <cstdint>

// Sets SO_SNDTIMEO and SO_RCVTIMEO to the given milliseconds (0: no time-out).
void SetSocketTimeouts(int fd, int64_t milliseconds);
// Sets only SO_RCVTIMEO.
void SetReceiveTimeout(int fd, int64_t milliseconds);
