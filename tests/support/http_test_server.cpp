#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qbtest {

namespace {
constexpr Millis RequestBound{5000};
constexpr std::size_t RequestLimit = 65536;
// A gate a test never opens has failed it already; the reply is then dropped.
constexpr int GateBoundMs = 60000;

int PollFor(int fd, short events, int wakeFd, int timeoutMs) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    const int n = poll(fds, 2, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;           // time-out
    if (fds[1].revents) return -1;  // stopping
    return 1;
  }
}
}  // namespace

HttpGate::HttpGate() {
  if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
}

HttpGate::~HttpGate() {
  for (int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

void HttpGate::Open() {
  // Never read: the byte keeps the gate readable for every reply waiting at it.
  const char open = 1;
  (void)!write(fds_[1], &open, 1);
}

HttpReply HttpReply::Raw(std::string bytes) {
  HttpReply reply;
  reply.pieces.push_back({Millis{0}, std::move(bytes)});
  return reply;
}

HttpReply HttpReply::Page(std::string body, int status) {
  return Raw("HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: text/html\r\n\r\n" +
             body);
}

HttpReply HttpReply::Silent() {
  HttpReply reply;
  reply.keepOpen = true;
  return reply;
}

HttpReply& HttpReply::Then(Millis delay, std::string bytes) {
  pieces.push_back({delay, std::move(bytes)});
  return *this;
}

HttpReply& HttpReply::KeepOpen() {
  keepOpen = true;
  return *this;
}

HttpReply& HttpReply::Reset() {
  reset = true;
  return *this;
}

HttpReply& HttpReply::After(std::shared_ptr<HttpGate> opened) {
  gate = std::move(opened);
  return *this;
}

HttpTestServer::HttpTestServer(const char* address) : listener_(address, 0, 64) {
  fallback_ = HttpReply::Page("<html><body>not found</body></html>", 404);
  if (!listener_.Ok() || pipe2(wakeFds_, O_CLOEXEC) != 0) {
    listener_.Close();
    return;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

std::string HttpTestServer::HostPort() const {
  const std::string& address = listener_.Address();
  const bool v6 = address.find(':') != std::string::npos;
  return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(listener_.Port());
}

std::string HttpTestServer::Url(const std::string& target) const {
  return "http://" + HostPort() + target;
}

void HttpTestServer::Enqueue(HttpReply reply) {
  std::lock_guard<std::mutex> hold(lock_);
  queued_.push_back(std::move(reply));
}

void HttpTestServer::Serve(const std::string& target, std::vector<HttpReply> replies) {
  std::lock_guard<std::mutex> hold(lock_);
  byTarget_[target] = std::deque<HttpReply>(replies.begin(), replies.end());
}

void HttpTestServer::Serve(const std::string& target, HttpReply reply) {
  Serve(target, std::vector<HttpReply>{std::move(reply)});
}

void HttpTestServer::SetFallback(HttpReply reply) {
  std::lock_guard<std::mutex> hold(lock_);
  fallback_ = std::move(reply);
}

std::vector<std::string> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_;
}

std::vector<std::string> HttpTestServer::Targets() const {
  std::lock_guard<std::mutex> hold(lock_);
  return targets_;
}

bool HttpTestServer::WaitForRequests(std::size_t count, Millis bound) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, bound, [&] { return requests_.size() >= count; });
}

bool HttpTestServer::WaitForFinished(std::size_t count, Millis bound) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, bound, [&] { return finished_ >= count; });
}

void HttpTestServer::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_) return;
    stopping_ = true;
  }
  if (wakeFds_[1] >= 0) {
    const char byte = 1;
    (void)!write(wakeFds_[1], &byte, 1);
  }
  listener_.Shutdown();  // ends an Accept that would block
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor has ended, so the list no longer grows.
  for (std::thread& t : connections_) t.join();
  connections_.clear();
  listener_.Close();
  for (int& fd : wakeFds_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void HttpTestServer::AcceptLoop() {
  for (;;) {
    if (PollFor(listener_.Fd(), POLLIN, wakeFds_[0], -1) < 0) return;
    const int fd = listener_.Accept(SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> hold(lock_);
    connections_.emplace_back([this, fd] { Handle(fd); });
  }
}

bool HttpTestServer::ReadRequest(int fd, std::string& request) {
  const auto deadline = std::chrono::steady_clock::now() + RequestBound;
  char chunk[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < RequestLimit) {
    const auto left =
        std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    const int ready = PollFor(fd, POLLIN, wakeFds_[0], static_cast<int>(left.count()));
    if (ready < 0) return false;
    if (ready == 0) return true;
    const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) return true;
    request.append(chunk, static_cast<std::size_t>(got));
  }
  return true;
}

bool HttpTestServer::SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
      // A client that stopped reading must not hold the server past Stop.
      if (PollFor(fd, POLLOUT, wakeFds_[0], -1) < 0) return false;
      continue;
    }
    return false;  // the client went away
  }
  return true;
}

bool HttpTestServer::Pause(Millis delay) {
  if (delay.count() <= 0) return true;
  pollfd fds[1] = {{wakeFds_[0], POLLIN, 0}};
  return poll(fds, 1, static_cast<int>(delay.count())) == 0;
}

bool HttpTestServer::PassGate(const HttpGate& gate) {
  return PollFor(gate.ReadableOnceOpen(), POLLIN, wakeFds_[0], GateBoundMs) == 1;
}

void HttpTestServer::HoldUntilClosed(int fd) {
  char sink[4096];
  for (;;) {
    if (PollFor(fd, POLLIN, wakeFds_[0], -1) < 0) return;
    const ssize_t got = recv(fd, sink, sizeof sink, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) return;
  }
}

HttpReply HttpTestServer::Choose(const std::string& target) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!queued_.empty()) {
    HttpReply reply = std::move(queued_.front());
    queued_.pop_front();
    return reply;
  }
  auto found = byTarget_.find(target);
  if (found != byTarget_.end() && !found->second.empty()) {
    HttpReply reply = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    return reply;
  }
  return fallback_;
}

void HttpTestServer::Handle(int fd) {
  std::string request;
  if (ReadRequest(fd, request)) {
    std::string target;
    const std::size_t space = request.find(' ');
    if (space != std::string::npos) {
      const std::size_t next = request.find_first_of(" \r\n", space + 1);
      target = request.substr(space + 1, next == std::string::npos ? next : next - space - 1);
    }
    const HttpReply reply = Choose(target);
    {
      std::lock_guard<std::mutex> hold(lock_);
      requests_.push_back(request);
      targets_.push_back(target);
    }
    changed_.notify_all();
    bool going = !reply.gate || PassGate(*reply.gate);
    for (const HttpReply::Piece& piece : reply.pieces) {
      going = Pause(piece.delay) && SendAll(fd, piece.bytes);
      if (!going) break;
    }
    if (going && reply.keepOpen) HoldUntilClosed(fd);
    if (reply.reset) {
      const linger abort{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
  }
  close(fd);
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++finished_;
  }
  changed_.notify_all();
}

}  // namespace qbtest
