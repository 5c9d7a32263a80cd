#pragma once
// ByteStream over a TCP socket, and the one way the FTP session opens them.
#include <atomic>
#include <memory>

#include "net/byte_stream.h"
#include "net/socket_address.h"
#include "net/unique_fd.h"

namespace qb {

class SocketStream final : public ByteStream {
 public:
  explicit SocketStream(UniqueFd fd) : fd_(std::move(fd)) {}
  // A socket someone else closes.
  static std::unique_ptr<SocketStream> Borrowing(int fd);
  ~SocketStream() override;

  bool SendAll(const char* data, std::size_t length) override;
  ssize_t ReceiveSome(char* into, std::size_t room, int waitMs,
                      const std::atomic<bool>* abort) override;
  void AcknowledgeNow() override;
  int Fd() const override { return fd_.get(); }
  int Disown() override;

 private:
  UniqueFd fd_;
  bool owned_ = true;
};

// ConnectWithin, as a stream; invalid (null) on failure.
std::unique_ptr<ByteStream> ConnectStream(const SocketAddress& address, int timeoutMs,
                                          const std::atomic<bool>* abort = nullptr,
                                          int receiveBuffer = 0, bool* noSocket = nullptr);

// When set, ConnectStream asks it instead of the network: the fuzz targets run
// whole sessions in memory this way. Unset in the program.
using StreamConnector = std::unique_ptr<ByteStream> (*)(const SocketAddress& address);
void SetStreamConnector(StreamConnector connector);

}  // namespace qb
