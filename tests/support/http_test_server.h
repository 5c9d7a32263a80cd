#pragma once
// A loopback HTTP server for tests. Each connection gets scripted bytes (anything,
// malformed or not), chosen from a queue, by request target, or a fallback; every
// request received is recorded. All waits are bounded and Stop ends every
// connection at once.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_listener.h"

namespace qbtest {

using Millis = std::chrono::milliseconds;

// Shut until the test opens it: a reply waiting at it sends nothing before, so
// a test checks what holds while a reply is outstanding without racing a delay.
class HttpGate {
 public:
  HttpGate();
  ~HttpGate();
  HttpGate(const HttpGate&) = delete;
  HttpGate& operator=(const HttpGate&) = delete;

  void Open();
  int ReadableOnceOpen() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
};

struct HttpReply {
  struct Piece {
    Millis delay;  // waited before the bytes are sent
    std::string bytes;
  };
  std::vector<Piece> pieces;
  bool keepOpen = false;  // hold the connection after the last piece until the client closes
  bool reset = false;     // end with a reset instead of an orderly close
  std::shared_ptr<HttpGate> gate;  // waited at before the first piece

  static HttpReply Raw(std::string bytes);
  // A status line, a text/html header, the empty line and the body.
  static HttpReply Page(std::string body, int status = 200);
  // Sends nothing and holds the connection.
  static HttpReply Silent();

  HttpReply& Then(Millis delay, std::string bytes);
  HttpReply& KeepOpen();
  HttpReply& Reset();
  HttpReply& After(std::shared_ptr<HttpGate> opened);
};

class HttpTestServer {
 public:
  // address: a loopback address to listen on; the port is chosen by the system.
  explicit HttpTestServer(const char* address = "127.0.0.1");
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  bool Listening() const { return listener_.Ok(); }
  uint16_t Port() const { return listener_.Port(); }
  std::string HostPort() const;                      // "127.0.0.1:port"
  std::string Url(const std::string& target) const;  // "http://127.0.0.1:port" + target

  // Replies for the next connections, in order; they come before any other rule.
  void Enqueue(HttpReply reply);
  // Replies for one request target (path and query as sent). Several are used one
  // per request in order; the last one then answers every further request.
  void Serve(const std::string& target, std::vector<HttpReply> replies);
  void Serve(const std::string& target, HttpReply reply);
  // Answer when nothing else applies; a 404 page unless set.
  void SetFallback(HttpReply reply);

  std::vector<std::string> Requests() const;  // raw request texts, in arrival order
  std::vector<std::string> Targets() const;   // their request targets
  bool WaitForRequests(std::size_t count, Millis bound) const;
  // Connections whose handling has ended (reply sent and socket closed).
  bool WaitForFinished(std::size_t count, Millis bound) const;

  void Stop();

 private:
  void AcceptLoop();
  void Handle(int fd);
  bool ReadRequest(int fd, std::string& request);
  bool SendAll(int fd, const std::string& bytes);
  bool Pause(Millis delay);             // false when stopping
  bool PassGate(const HttpGate& gate);  // false when stopping or never opened
  void HoldUntilClosed(int fd);
  HttpReply Choose(const std::string& target);

  LoopbackListener listener_;
  int wakeFds_[2] = {-1, -1};  // readable once Stop began
  std::thread acceptor_;

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<std::thread> connections_;
  std::deque<HttpReply> queued_;
  std::map<std::string, std::deque<HttpReply>> byTarget_;
  HttpReply fallback_;
  std::vector<std::string> requests_;
  std::vector<std::string> targets_;
  std::size_t finished_ = 0;
};

}  // namespace qbtest
