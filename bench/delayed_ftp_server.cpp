#include "bench/delayed_ftp_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace qbbench {

namespace {

const std::string Listing =
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 12  1999 docs\r\n"
    "-rw-r--r--   1 ftp      ftp          1000 Jan 12 10:30 small.bin\r\n"
    "-rw-r--r--   1 ftp      ftp        200000 Jan 12 10:30 big.bin\r\n"
    "-rw-r--r--   1 ftp      ftp         50000 Mar  5  2001 middle.bin\r\n";

void SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The data connection of one transfer: accepted on the passive listener, or
// made to the client's PORT address.
int OpenData(qbtest::LoopbackListener* passive, const sockaddr_in& active) {
  if (passive) {
    pollfd p{passive->Fd(), POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return -1;
    return accept(passive->Fd(), nullptr, nullptr);
  }
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&active), sizeof active) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

DelayedFtpServer::DelayedFtpServer(int ports, std::chrono::milliseconds delay) : delay_(delay) {
  for (int i = 0; i < ports; ++i) listeners_.emplace_back("127.0.0.1", 0, 64);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

DelayedFtpServer::~DelayedFtpServer() {
  stopping_ = true;
  acceptor_.join();
  for (auto& l : listeners_) l.Close();
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& s : sessions_) s.join();
}

bool DelayedFtpServer::Ok() const {
  for (const auto& l : listeners_)
    if (!l.Ok()) return false;
  return !listeners_.empty();
}

std::string DelayedFtpServer::Url(int port) const {
  return listeners_.at(static_cast<std::size_t>(port)).Url("ftp", "/pub/");
}

void DelayedFtpServer::AcceptLoop() {
  std::vector<pollfd> polls;
  for (const auto& l : listeners_) polls.push_back({l.Fd(), POLLIN, 0});
  while (!stopping_) {
    if (poll(polls.data(), polls.size(), 50) <= 0) continue;
    for (const pollfd& p : polls) {
      if (!(p.revents & POLLIN)) continue;
      const int fd = accept(p.fd, nullptr, nullptr);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> hold(lock_);
      sessions_.emplace_back([this, fd] { Serve(fd); });
    }
  }
}

void DelayedFtpServer::Reply(int fd, const std::string& line) const {
  std::this_thread::sleep_for(delay_);
  SendAll(fd, line + "\r\n");
}

void DelayedFtpServer::Serve(int fd) {
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  Reply(fd, "220 ready");
  std::unique_ptr<qbtest::LoopbackListener> passive;
  sockaddr_in active{};
  std::string pending;
  char buf[1024];
  std::size_t restart = 0;
  while (!stopping_) {
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    ++commands_;
    const std::string verb = line.substr(0, 4);
    if (verb == "USER") {
      Reply(fd, "331 password");
    } else if (verb == "PASS") {
      Reply(fd, "230 welcome");
    } else if (verb == "TYPE" || verb == "SITE") {
      Reply(fd, "200 ok");
    } else if (verb == "CWD ") {
      Reply(fd, "250 ok");
    } else if (verb == "PASV" || verb == "EPSV") {
      passive = std::make_unique<qbtest::LoopbackListener>("127.0.0.1");
      const unsigned port = passive->Port();
      char text[80];
      if (verb == "PASV")
        std::snprintf(text, sizeof text, "227 Entering Passive Mode (127,0,0,1,%u,%u)", port >> 8,
                      port & 255);
      else
        std::snprintf(text, sizeof text, "229 Entering Extended Passive Mode (|||%u|)", port);
      Reply(fd, text);
    } else if (verb == "PORT") {
      unsigned v[6];
      if (std::sscanf(line.c_str() + 5, "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                      &v[5]) == 6) {
        active = sockaddr_in{};
        active.sin_family = AF_INET;
        active.sin_addr.s_addr = htonl((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
        active.sin_port = htons(static_cast<uint16_t>((v[4] << 8) | v[5]));
        passive.reset();
        Reply(fd, "200 PORT ok");
      } else {
        Reply(fd, "501 bad PORT");
      }
    } else if (verb == "REST") {
      restart = std::stoul(line.substr(5));
      Reply(fd, "350 restarting");
    } else if (verb == "LIST" || verb == "RETR") {
      const int data = OpenData(passive.get(), active);
      if (data < 0) {
        Reply(fd, "425 no data connection");
        continue;
      }
      Reply(fd, "150 opening");
      const std::string bytes =
          verb == "LIST" ? Listing : std::string(restart < 200000 ? 200000 - restart : 0, 'b');
      SendAll(data, bytes);
      close(data);
      passive.reset();
      restart = 0;
      Reply(fd, "226 done");
    } else {
      Reply(fd, "502 not here");
    }
  }
  close(fd);
}

}  // namespace qbbench
