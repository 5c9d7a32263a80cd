#include "net/socket_stream.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/socket_util.h"

namespace qb {

namespace {
std::atomic<StreamConnector> customConnector{nullptr};
}  // namespace

std::unique_ptr<SocketStream> SocketStream::Borrowing(int fd) {
  // Allocated first: a failed allocation must not close a socket it does not own.
  auto stream = std::make_unique<SocketStream>(UniqueFd());
  stream->fd_.reset(fd);
  stream->Disown();
  return stream;
}

SocketStream::~SocketStream() {
  if (!owned_) fd_.release();
}

int SocketStream::Disown() {
  owned_ = false;
  return fd_.get();
}

bool SocketStream::SendAll(const char* data, std::size_t length) {
  return SendWhole(fd_.get(), data, length);
}

ssize_t SocketStream::ReceiveSome(char* into, std::size_t room, int waitMs,
                                  const std::atomic<bool>* abort) {
  if (!WaitReadable(fd_.get(), waitMs, abort)) return -1;
  const ssize_t n = recv(fd_.get(), into, room, MSG_DONTWAIT);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return Again;
  // A reset connection is as finished as a closed one.
  return n < 0 ? 0 : n;
}

void SocketStream::AcknowledgeNow() {
  const int one = 1;
  setsockopt(fd_.get(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

void SetStreamConnector(StreamConnector connector) { customConnector = connector; }

std::unique_ptr<ByteStream> ConnectStream(const SocketAddress& address, int timeoutMs,
                                          const std::atomic<bool>* abort, int receiveBuffer,
                                          bool* noSocket) {
  if (noSocket) *noSocket = false;
  if (address.Empty()) return nullptr;
  if (const StreamConnector connector = customConnector.load()) return connector(address);
  UniqueFd fd = ConnectWithin(address, timeoutMs, abort, receiveBuffer, noSocket);
  if (!fd.valid()) return nullptr;
  return std::make_unique<SocketStream>(std::move(fd));
}

}  // namespace qb
