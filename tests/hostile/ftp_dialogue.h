#pragma once
// A polite FTP dialogue for HostileServer handlers, with hooks where a test
// wants the server to misbehave or to be slow.
#include <functional>
#include <string>

#include "tests/hostile/hostile_server.h"

namespace qbtest {

struct FtpSessionState {
  std::string path;  // last CWD argument
  std::string port;  // last PORT argument
};

struct FtpBehaviour {
  // Runs before every reply (a delay, say); false ends the session.
  std::function<bool(HostileServer&)> beforeReply;
  // Reply to CWD for a path; "250 CWD ok" when unset.
  std::function<std::string(const std::string& path)> cwd;
  // After "150" to LIST: whatever the data connection should see.
  std::function<void(HostileServer&, const FtpSessionState&)> list;
  std::string retr = "150 Opening";
};

// Greets, accepts any login, and answers until the client or the server stops.
void ServeFtp(HostileServer& server, int fd, const FtpBehaviour& behaviour);

// A list action that connects to the PORT address and sends what produce gives,
// chunk after chunk, until it returns false or the client stops reading.
std::function<void(HostileServer&, const FtpSessionState&)> SendListing(
    std::function<bool(std::string& chunk)> produce, const char* source = "127.0.0.1");

}  // namespace qbtest
