#include "tests/hostile/hostile_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "net/socket_util.h"

using namespace qb;

namespace qbtest {

namespace {

// Every wait of the server's own sockets is bounded, so a test never hangs on it.
void Bound(int fd) { SetSocketTimeouts(fd, 5000); }

}  // namespace

HostileServer::HostileServer(Handler handler, const char* address)
    : handler_(std::move(handler)), listener_(address) {
  if (listener_.Ok()) acceptor_ = std::thread(&HostileServer::AcceptLoop, this);
}

HostileServer::~HostileServer() { Stop(); }

std::string HostileServer::HttpUrl(const std::string& target) const {
  return listener_.Url("http", target);
}

std::string HostileServer::FtpUrl(const std::string& path) const {
  return listener_.Url("ftp", path);
}

void HostileServer::Track(int fd, bool add) {
  std::lock_guard<std::mutex> hold(lock_);
  if (add)
    open_.push_back(fd);
  else
    open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
}

void HostileServer::AcceptLoop() {
  for (;;) {
    const int fd = listener_.Accept();  // -1 once Stop shut the listener down
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_ || fd < 0) {
      if (fd >= 0) close(fd);
      return;
    }
    Bound(fd);
    ++accepted_;
    open_.push_back(fd);
    std::erase_if(handlers_, [](Running& r) {
      if (!*r.done) return false;
      r.thread.join();
      return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    handlers_.push_back({std::thread([this, fd, done] {
                           handler_(*this, fd);
                           Track(fd, false);
                           close(fd);
                           *done = true;
                         }),
                         done});
  }
}

bool HostileServer::Pause(Millis delay) {
  std::unique_lock<std::mutex> hold(lock_);
  wake_.wait_for(hold, delay, [this] { return stopping_.load(); });
  return !stopping_;
}

bool HostileServer::Send(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    if (stopping_) return false;
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return !stopping_;
}

bool HostileServer::ReadLine(int fd, std::string& pending, std::string& line) {
  for (;;) {
    const std::size_t end = pending.find('\n');
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending.erase(0, end + 1);
      return true;
    }
    if (stopping_) return false;
    char buf[4096];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    pending.append(buf, static_cast<std::size_t>(n));
  }
}

bool HostileServer::ReadRequest(int fd) {
  std::string pending, line;
  while (ReadLine(fd, pending, line)) {
    if (line.empty()) return true;
  }
  return false;
}

int HostileServer::ConnectTo(const std::string& portArgument, const char* source) {
  unsigned v[6];
  if (std::sscanf(portArgument.c_str(), "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                  &v[5]) != 6)
    return -1;
  char host[32];
  std::snprintf(host, sizeof host, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(v[4] * 256 + v[5]));
  sockaddr_in from{};
  from.sin_family = AF_INET;
  // The listener may only ever be on loopback: refuse anything else.
  if (inet_pton(AF_INET, host, &to.sin_addr) != 1 || (ntohl(to.sin_addr.s_addr) >> 24) != 127 ||
      inet_pton(AF_INET, source, &from.sin_addr) != 1)
    return -1;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  Bound(fd);
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  Track(fd, true);
  return fd;
}

void HostileServer::CloseData(int fd) {
  if (fd < 0) return;
  Track(fd, false);
  close(fd);
}

void HostileServer::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_.exchange(true)) return;
    // Wakes handlers blocked in recv or send; they close their own sockets.
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
    listener_.Shutdown();
  }
  wake_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<Running> handlers;
  {
    std::lock_guard<std::mutex> hold(lock_);
    handlers.swap(handlers_);
  }
  for (Running& r : handlers) r.thread.join();
  listener_.Close();
}

}  // namespace qbtest
