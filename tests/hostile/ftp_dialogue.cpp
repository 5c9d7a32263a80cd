#include "tests/hostile/ftp_dialogue.h"

namespace qbtest {

void ServeFtp(HostileServer& s, int fd, const FtpBehaviour& b) {
  const auto ready = [&] { return !b.beforeReply || b.beforeReply(s); };
  if (!ready() || !s.Send(fd, "220 ready\r\n")) return;
  FtpSessionState state;
  std::string pending, line;
  while (s.ReadLine(fd, pending, line)) {
    const std::string verb = line.substr(0, 4);
    const std::string argument = line.size() > 5 ? line.substr(5) : std::string();
    std::string reply;
    if (verb == "USER")
      reply = "331 Password";
    else if (verb == "PASS")
      reply = "230 Welcome";
    else if (verb == "TYPE")
      reply = "200 Type A";
    else if (verb == "CWD ") {
      state.path = argument;
      reply = b.cwd ? b.cwd(argument) : "250 CWD ok";
    } else if (verb == "PORT") {
      state.port = argument;
      reply = "200 PORT ok";
    } else if (verb == "LIST") {
      if (!ready() || !s.Send(fd, "150 Here it comes\r\n")) return;
      if (b.list) b.list(s, state);
      reply = "226 Done";
    } else if (verb == "RETR")
      reply = b.retr;
    else
      reply = "502 No";
    if (!ready() || !s.Send(fd, reply + "\r\n")) return;
  }
}

std::function<void(HostileServer&, const FtpSessionState&)> SendListing(
    std::function<bool(std::string&)> produce, const char* source) {
  return [produce, source](HostileServer& s, const FtpSessionState& state) {
    const int data = s.ConnectTo(state.port, source);
    std::string chunk;
    while (data >= 0 && produce(chunk) && s.Send(data, chunk)) {
    }
    s.CloseData(data);
  };
}

}  // namespace qbtest
