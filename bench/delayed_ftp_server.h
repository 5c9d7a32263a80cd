#pragma once
// A loopback FTP server whose every reply comes D ms after its command, as
// over a network with that round trip; it serves one small folder on many
// ports (each port a server of its own to the scheduler), in both data modes,
// and with explicit TLS when asked (control and data connections, the
// handshake's awaited flights D late too). Or, given a tree, a whole site of
// folders to crawl.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/loopback_listener.h"

using SSL_CTX = struct ssl_ctx_st;

namespace qbbench {

class Channel;

// Folder 0 is the top ("/"); folder i holds folders fanout*i+1 .. fanout*i+fanout
// (those below folders), each named by its number ("d17", so that no name
// repeats down a path), and files f0.bin ... Listed by LIST (its options
// ignored) and, with mlsd, by MLSD too, by path or after CWD; a path outside
// the tree answers 550. A listing's completion follows its data at once, as a
// server sends it over a network, so that a listing costs one round trip as it
// would there (the small folder's comes D later).
struct FtpTree {
  int folders = 0;  // 0: the one small folder instead
  int filesPerFolder = 0;
  int fanout = 10;
  bool mlsd = false;  // FEAT offers MLST and MLSD
};

class DelayedFtpServer {
 public:
  // tls: FEAT offers AUTH TLS, served with a self-signed certificate for
  // 127.0.0.1 made at start.
  DelayedFtpServer(int ports, std::chrono::milliseconds delay, bool tls = false, FtpTree tree = {});
  ~DelayedFtpServer();
  DelayedFtpServer(const DelayedFtpServer&) = delete;
  DelayedFtpServer& operator=(const DelayedFtpServer&) = delete;

  bool Ok() const;
  std::string Url(int port) const;
  // Command lines received over all sessions.
  int64_t Commands() const { return commands_; }
  // Control connections accepted.
  int64_t Sessions() const { return sessionCount_; }
  // Listings sent whole (LIST or MLSD).
  int64_t Listings() const { return listings_; }
  // Control connections secured. Data connections whose client hello came,
  // those whose hello offered a session to resume, those whose handshake
  // finished and those of them that resumed.
  int64_t ControlHandshakes() const { return controlHandshakes_; }
  int64_t DataHellos() const { return dataHellos_; }
  int64_t DataOffered() const { return dataOffered_; }
  int64_t DataHandshakes() const { return dataHandshakes_; }
  int64_t DataResumed() const { return dataResumed_; }

 private:
  void AcceptLoop();
  void Serve(int fd);
  void Reply(Channel& channel, const std::string& line) const;
  // The tree's folder at path (from folder cwd when relative), if any.
  std::optional<int> Resolve(int cwd, std::string_view path) const;
  std::string PathOf(int folder) const;
  std::string TreeListing(int folder, bool mlsd) const;

  std::chrono::milliseconds delay_;
  FtpTree tree_;
  SSL_CTX* tls_ = nullptr;
  bool tlsWanted_ = false;
  std::vector<qbtest::LoopbackListener> listeners_;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> commands_{0};
  std::atomic<int64_t> sessionCount_{0};
  std::atomic<int64_t> listings_{0};
  std::atomic<int64_t> controlHandshakes_{0};
  std::atomic<int64_t> dataHellos_{0};
  std::atomic<int64_t> dataOffered_{0};
  std::atomic<int64_t> dataHandshakes_{0};
  std::atomic<int64_t> dataResumed_{0};
  std::mutex lock_;
  std::vector<std::thread> sessions_;
  std::thread acceptor_;
};

}  // namespace qbbench
