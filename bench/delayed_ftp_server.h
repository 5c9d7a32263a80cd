#pragma once
// A loopback FTP server whose every reply comes D ms after its command, as
// over a network with that round trip; it serves one small folder on many
// ports (each port a server of its own to the scheduler), in both data modes.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_listener.h"

namespace qbbench {

class DelayedFtpServer {
 public:
  DelayedFtpServer(int ports, std::chrono::milliseconds delay);
  ~DelayedFtpServer();
  DelayedFtpServer(const DelayedFtpServer&) = delete;
  DelayedFtpServer& operator=(const DelayedFtpServer&) = delete;

  bool Ok() const;
  std::string Url(int port) const;
  // Command lines received over all sessions.
  int64_t Commands() const { return commands_; }

 private:
  void AcceptLoop();
  void Serve(int fd);
  void Reply(int fd, const std::string& line) const;

  std::chrono::milliseconds delay_;
  std::vector<qbtest::LoopbackListener> listeners_;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> commands_{0};
  std::mutex lock_;
  std::vector<std::thread> sessions_;
  std::thread acceptor_;
};

}  // namespace qbbench
