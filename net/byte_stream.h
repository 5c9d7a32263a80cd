#pragma once
// A connection's bytes both ways, as the FTP session sees them: a TCP socket in
// the program, memory in the fuzz targets, so that both run the same dialogue.
#include <sys/types.h>

#include <atomic>
#include <cstddef>

namespace qb {

class ByteStream {
 public:
  // ReceiveSome's answer when it woke without bytes and should be asked again.
  static constexpr ssize_t Again = -2;

  virtual ~ByteStream() = default;
  // Sends all of data; false on error or time-out.
  virtual bool SendAll(const char* data, std::size_t length) = 0;
  // Waits up to waitMs (<= 0: no bound, *abort still watched) and reads at most
  // room bytes: their count, 0 once the connection has ended (closed or broken),
  // -1 when nothing came in time or the wait was aborted, or Again.
  virtual ssize_t ReceiveSome(char* into, std::size_t room, int waitMs,
                              const std::atomic<bool>* abort) = 0;
  // Asks for what was read to be acknowledged at once; nothing where that means nothing.
  virtual void AcknowledgeNow() {}
  // The socket underneath, or -1 when there is none.
  virtual int Fd() const { return -1; }
  // The socket goes on being used here, but its closing becomes the caller's;
  // -1 when there is none.
  virtual int Disown() { return -1; }
};

}  // namespace qb
