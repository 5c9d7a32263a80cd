#include "tests/support/fake_ftp_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/socket_util.h"

using namespace qb;

namespace qbtest {

FtpReply FtpReply::Line(const std::string& text) { return Raw(text + "\r\n"); }

FtpReply FtpReply::Raw(std::string bytes) {
  FtpReply reply;
  reply.pieces.push_back({Millis(0), std::move(bytes)});
  return reply;
}

FtpReply FtpReply::Silent() { return FtpReply{}; }

FtpReply& FtpReply::Then(Millis delay, std::string bytes) {
  pieces.push_back({delay, std::move(bytes)});
  return *this;
}

FtpReply& FtpReply::Close() {
  close = true;
  return *this;
}

FtpScript& FtpScript::Greeting(FtpReply reply) {
  greeting = std::move(reply);
  return *this;
}

FtpScript& FtpScript::Rest(FtpReply reply) {
  rest = std::move(reply);
  return *this;
}

FtpScript& FtpScript::On(FtpReply reply) { return On(FtpStep{std::move(reply), {}, {}}); }

FtpScript& FtpScript::On(FtpStep step) {
  steps.push_back(std::move(step));
  return *this;
}

FtpScript& FtpScript::OnTransfer(const std::string& first, std::vector<FtpData> data,
                                 const std::string& last) {
  return On(FtpStep{FtpReply::Line(first), std::move(data), FtpReply::Line(last)});
}

FtpScript LoginScript() {
  FtpScript script;
  script.On(FtpReply::Line("331 Send password"))
      .On(FtpReply::Line("230 Welcome"))
      .On(FtpReply::Line("200 Type set to A"));
  return script;
}

FtpScript BeforeListScript() {
  FtpScript script = LoginScript();
  script.On(FtpReply::Line("250 CWD ok")).On(FtpReply::Line("200 PORT ok"));
  return script;
}

FtpScript ListingScript(const std::string& listing, FtpReply retr, std::vector<FtpData> data) {
  if (data.empty()) data.push_back({"127.0.0.1", listing});
  FtpScript script = BeforeListScript();
  script.OnTransfer("150 Opening data connection", std::move(data), "226 Transfer complete")
      .On(FtpReply::Line("200 PORT ok"))
      .On(std::move(retr));
  return script;
}

namespace {

bool SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// "PORT h1,h2,h3,h4,p1,p2" as an address; false when malformed.
bool ParsePort(const std::string& line, sockaddr_in& out) {
  unsigned v[6];
  if (std::sscanf(line.c_str() + 4, " %u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                  &v[5]) != 6) {
    return false;
  }
  for (unsigned x : v) {
    if (x > 255) return false;
  }
  out = sockaddr_in{};
  out.sin_family = AF_INET;
  out.sin_addr.s_addr = htonl((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
  out.sin_port = htons(static_cast<uint16_t>((v[4] << 8) | v[5]));
  return true;
}

}  // namespace

FakeFtpServer::FakeFtpServer(const char* address) : listener_(address) {
  if (listener_.Ok()) acceptor_ = std::thread([this] { AcceptLoop(); });
}

FakeFtpServer::~FakeFtpServer() { Stop(); }

std::string FakeFtpServer::Url(const std::string& path) const { return listener_.Url("ftp", path); }

void FakeFtpServer::AddSession(FtpScript script) {
  std::lock_guard<std::mutex> hold(lock_);
  scripts_.push_back(std::move(script));
}

std::size_t FakeFtpServer::Sessions() const {
  std::lock_guard<std::mutex> hold(lock_);
  return sessions_.size();
}

std::vector<std::string> FakeFtpServer::Commands(std::size_t session) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (session >= sessions_.size()) return {};
  return sessions_[session].commands;
}

int FakeFtpServer::DataConnected(std::size_t session) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (session >= sessions_.size()) return 0;
  return sessions_[session].dataConnected;
}

bool FakeFtpServer::WaitForSessions(std::size_t count, Millis bound) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, bound, [&] { return sessions_.size() >= count; });
}

bool FakeFtpServer::WaitForCommands(std::size_t session, std::size_t count, Millis bound) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, bound, [&] {
    return session < sessions_.size() && sessions_[session].commands.size() >= count;
  });
}

void FakeFtpServer::Stop() {
  std::vector<std::thread> handlers;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_) return;
    stopping_ = true;
    listener_.Shutdown();
    for (const Session& s : sessions_) {
      if (s.fd >= 0) shutdown(s.fd, SHUT_RDWR);
    }
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard<std::mutex> hold(lock_);
    handlers.swap(handlers_);
  }
  for (std::thread& t : handlers) t.join();
  listener_.Close();
}

void FakeFtpServer::AcceptLoop() {
  for (;;) {
    const int fd = listener_.Accept();  // -1 once Stop shut the listener down
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_ || fd < 0) {
      if (fd >= 0) close(fd);
      return;
    }
    const std::size_t index = sessions_.size();
    sessions_.push_back(Session{{}, 0, fd});
    handlers_.emplace_back([this, index, fd] { Handle(index, fd); });
    changed_.notify_all();
  }
}

bool FakeFtpServer::Pause(Millis delay) {
  std::unique_lock<std::mutex> hold(lock_);
  return !changed_.wait_for(hold, delay, [&] { return stopping_; });
}

bool FakeFtpServer::Play(int fd, const FtpReply& reply) {
  for (const FtpReply::Piece& piece : reply.pieces) {
    if (piece.delay.count() > 0 && !Pause(piece.delay)) return false;
    if (!SendAll(fd, piece.bytes)) return false;
  }
  return !reply.close;
}

bool FakeFtpServer::OpenData(std::size_t index, const sockaddr_in& target, const FtpData& data) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  SetSocketTimeouts(fd, 5000);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  bool ok = inet_pton(AF_INET, data.source.c_str(), &from.sin_addr) == 1 &&
            bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
            connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
  if (ok) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ++sessions_[index].dataConnected;
    }
    changed_.notify_all();
    ok = SendAll(fd, data.bytes);
  }
  close(fd);
  return ok;
}

void FakeFtpServer::Handle(std::size_t index, int fd) {
  FtpScript script;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!scripts_.empty()) script = scripts_[index < scripts_.size() ? index : scripts_.size() - 1];
  }
  sockaddr_in dataTarget{};
  std::string pending;
  std::size_t step = 0;
  bool open = Play(fd, script.greeting);
  while (open) {
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) {
      char buf[4096];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    if (line.compare(0, 4, "PORT") == 0) ParsePort(line, dataTarget);
    {
      std::lock_guard<std::mutex> hold(lock_);
      sessions_[index].commands.push_back(line);
    }
    changed_.notify_all();
    if (line == "FEAT") {
      open = Play(fd, script.features);
      continue;
    }
    if (step >= script.steps.size()) {
      open = Play(fd, script.rest);
      continue;
    }
    const FtpStep& current = script.steps[step++];
    open = Play(fd, current.reply);
    for (const FtpData& data : current.data) {
      if (!open) break;
      OpenData(index, dataTarget, data);
    }
    if (open) open = Play(fd, current.afterData);
  }
  std::lock_guard<std::mutex> hold(lock_);
  sessions_[index].fd = -1;
  close(fd);
}

}  // namespace qbtest
