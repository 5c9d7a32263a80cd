#pragma once
// A loopback FTP server for tests that plays scripted dialogues exactly: per
// command a reply (in pieces, with delays, or nothing at all), optionally a
// closed control connection, and active data connections to the client's PORT
// address, from any loopback source address. Every command line is recorded.
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_listener.h"

namespace qbtest {

using Millis = std::chrono::milliseconds;

struct FtpReply {
  struct Piece {
    Millis delay;  // waited before the bytes are sent
    std::string bytes;
  };
  std::vector<Piece> pieces;
  bool close = false;  // close the control connection after the pieces

  // One line, "\r\n" added, sent at once.
  static FtpReply Line(const std::string& text);
  static FtpReply Raw(std::string bytes);
  // Sends nothing; the connection stays open.
  static FtpReply Silent();

  FtpReply& Then(Millis delay, std::string bytes);
  FtpReply& Close();
};

// An active data connection that the server opens to the last PORT address.
struct FtpData {
  std::string source = "127.0.0.1";  // local address the connection is made from
  std::string bytes;
};

struct FtpStep {
  FtpReply reply;
  std::vector<FtpData> data;  // opened in order after the reply
  FtpReply afterData;         // sent once the data connections are done
};

struct FtpScript {
  FtpReply greeting = FtpReply::Line("220 fake ready");
  // Used in order, one per command line received; beyond them every command
  // gets the rest reply.
  std::vector<FtpStep> steps;
  FtpReply rest = FtpReply::Line("502 unscripted");
  // FEAT is answered with this, outside the steps, as often as it comes.
  FtpReply features = FtpReply::Line("500 FEAT not understood");

  FtpScript& Greeting(FtpReply reply);
  FtpScript& Rest(FtpReply reply);
  FtpScript& On(FtpReply reply);
  FtpScript& On(FtpStep step);
  // A reply line, data connections, then a final reply line (LIST's shape).
  FtpScript& OnTransfer(const std::string& first, std::vector<FtpData> data,
                        const std::string& last);
};

// Common dialogue pieces: anonymous login accepted with USER 331 / PASS 230
// and TYPE 200.
FtpScript LoginScript();
// The login, then CWD and PORT accepted: what comes before LIST.
FtpScript BeforeListScript();
// A whole exploration: LIST answered by the data connections (by default one
// from 127.0.0.1 with listing), PORT accepted again and RETR answered by retr.
FtpScript ListingScript(const std::string& listing, FtpReply retr, std::vector<FtpData> data = {});

class FakeFtpServer {
 public:
  explicit FakeFtpServer(const char* address = "127.0.0.1");
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  bool Listening() const { return listener_.Ok(); }
  uint16_t Port() const { return listener_.Port(); }
  // "ftp://address:port" + path
  std::string Url(const std::string& path) const;

  // Scripts for the next connections in order; the last one serves all later ones.
  void AddSession(FtpScript script);

  std::size_t Sessions() const;
  // Command lines of one session (0-based), without their "\r\n".
  std::vector<std::string> Commands(std::size_t session) const;
  // Data connections that reached the client, per session.
  int DataConnected(std::size_t session) const;
  bool WaitForSessions(std::size_t count, Millis bound) const;
  bool WaitForCommands(std::size_t session, std::size_t count, Millis bound) const;

  void Stop();

 private:
  struct Session {
    std::vector<std::string> commands;
    int dataConnected = 0;
    int fd = -1;
  };

  void AcceptLoop();
  void Handle(std::size_t index, int fd);
  bool Play(int fd, const FtpReply& reply);
  bool OpenData(std::size_t index, const sockaddr_in& target, const FtpData& data);
  bool Pause(Millis delay);  // false when stopping

  LoopbackListener listener_;
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<FtpScript> scripts_;
  std::vector<Session> sessions_;
  std::vector<std::thread> handlers_;
  std::thread acceptor_;
};

}  // namespace qbtest
