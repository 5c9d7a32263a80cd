#pragma once
// A loopback server whose connections are each handed to a function that
// misbehaves on purpose (endless headers, floods, trickles, silence). Handlers
// loop through Send/Pause/ReadLine, which all return false once Stop begins,
// so every handler ends promptly and Stop joins them all.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/loopback_listener.h"

namespace qbtest {

using Millis = std::chrono::milliseconds;

class HostileServer {
 public:
  using Handler = std::function<void(HostileServer& server, int fd)>;

  explicit HostileServer(Handler handler, const char* address = "127.0.0.1");
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  uint16_t Port() const { return listener_.Port(); }
  const std::string& Address() const { return listener_.Address(); }
  std::string HttpUrl(const std::string& target) const;
  std::string FtpUrl(const std::string& path) const;

  bool Stopping() const { return stopping_; }
  // false when the server is stopping (at once, not after the delay).
  bool Pause(Millis delay);
  // Sends all bytes; false when the peer is gone or the server is stopping.
  bool Send(int fd, std::string_view bytes);
  // Reads up to and without the next "\n" (a "\r" before it dropped); false on
  // close, error or stop. pending keeps what arrived after the line.
  bool ReadLine(int fd, std::string& pending, std::string& line);
  // Reads an HTTP request up to its empty line.
  bool ReadRequest(int fd);
  // Opens a connection from source (a loopback address) to an address:port in
  // the form of a PORT argument "h1,h2,h3,h4,p1,p2"; -1 on failure.
  int ConnectTo(const std::string& portArgument, const char* source = "127.0.0.1");
  // Closes a connection made by ConnectTo.
  void CloseData(int fd);

  // Connections accepted so far.
  int Accepted() const { return accepted_; }

  void Stop();

 private:
  void AcceptLoop();
  void Track(int fd, bool add);

  Handler handler_;
  LoopbackListener listener_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<int> open_;  // every socket a handler may block on
  struct Running {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  // Finished handlers are joined as new ones start, so a long-running server
  // holds only the threads still serving.
  std::vector<Running> handlers_;
  std::thread acceptor_;
};

}  // namespace qbtest
