#include "core/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qb {

namespace {

constexpr int AnswerMs = 5000;
constexpr std::size_t MessageMax = std::size_t{64} * 1024;  // what a start may hand over
constexpr std::size_t SitesMax = 2000;                      // the table holds no more
// Two starts at once wait this long for each other's claim at most.
constexpr auto LockWait = std::chrono::seconds(3);
constexpr auto LockStep = std::chrono::milliseconds(20);

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  return poll(&p, 1, ms) == 1 && (p.revents & (events | POLLHUP)) != 0;
}

bool SendAll(int fd, const std::string& text) {
  for (std::size_t sent = 0; sent < text.size();) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// The socket may lie in the shared /tmp: only the same user is talked to.
bool SameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

// A whole message, bounded in size and time; lines are sites.
std::vector<std::string> ReadSites(int fd) {
  std::string text;
  char buffer[4096];
  while (text.size() < MessageMax && WaitFor(fd, POLLIN, AnswerMs)) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  std::vector<std::string> sites;
  std::size_t start = 0;
  while (start < text.size() && sites.size() < SitesMax) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) sites.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return sites;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

std::string InstanceSocketPath() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) display = std::getenv("WAYLAND_DISPLAY");
  if (!display || !*display) return {};
  std::string name = "quillbrook-";
  for (const char* p = display; *p; ++p) name += *p == '/' ? '_' : *p;
  std::string folder;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime && *runtime == '/' && IsPrivateFolder(runtime)) {
    folder = runtime;
  } else {
    // The shared /tmp: a folder of this user's own, which nobody else can have
    // made first or pointed elsewhere.
    folder = "/tmp/quillbrook-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (!IsPrivateFolder(folder)) return {};
  }
  const std::string path = folder + "/" + name + ".sock";
  sockaddr_un address;
  return FillAddress(path, address) ? path : std::string();
}

SingleInstance::SingleInstance(std::string socketPath) : path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
  if (thread_.joinable()) {
    const char stop = 0;
    (void)!write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (int fd : {wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
  if (listener_ >= 0) {
    close(listener_);
    unlink(path_.c_str());
  }
}

SingleInstance::Claim SingleInstance::ClaimOrHand(const std::vector<std::string>& urls) {
  sockaddr_un address;
  if (!FillAddress(path_, address)) return Claim::First;
  // Two starts at once must not both find the socket stale and both listen. The
  // lock is this user's own file, never a link, and waited for a bounded time.
  const int lock =
      open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  struct stat st {};
  if (lock < 0 || fstat(lock, &st) != 0 || st.st_uid != getuid() || !S_ISREG(st.st_mode)) {
    if (lock >= 0) close(lock);
    alone_ = "the lock " + path_ + ".lock is not this user's own file";
    return Claim::First;
  }
  const auto until = std::chrono::steady_clock::now() + LockWait;
  while (flock(lock, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= until) {
      close(lock);
      alone_ = "another start holds " + path_ + ".lock";
      return Claim::First;
    }
    std::this_thread::sleep_for(LockStep);
  }
  Claim claim = Claim::First;
  const int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (peer >= 0 &&
      connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    if (!SameUser(peer)) {
      // Another user's socket on our path: run alone, without a door.
      close(peer);
      if (lock >= 0) close(lock);
      return Claim::First;
    }
    std::string message;
    for (const std::string& url : urls) message += url + "\n";
    claim = Claim::NoAnswer;
    if (SendAll(peer, message) && shutdown(peer, SHUT_WR) == 0 && WaitFor(peer, POLLIN, AnswerMs)) {
      char answer[3] = {};
      if (recv(peer, answer, 2, 0) == 2 && std::strcmp(answer, "ok") == 0)
        claim = Claim::HandedOver;
    }
  } else {
    unlink(path_.c_str());  // left by a program that ended without removing it
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ >= 0 &&
        (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
         listen(listener_, 8) != 0)) {
      close(listener_);
      listener_ = -1;
    }
  }
  if (peer >= 0) close(peer);
  if (lock >= 0) close(lock);
  return claim;
}

void SingleInstance::Serve(std::function<void(std::vector<std::string>)> onMessage) {
  if (listener_ < 0 || thread_.joinable() || pipe2(wake_, O_CLOEXEC) != 0) return;
  thread_ = std::thread([this, onMessage = std::move(onMessage)] {
    for (;;) {
      pollfd waits[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(waits, 2, -1) < 0) continue;
      if (waits[1].revents) return;
      const int peer = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0) continue;
      if (!SameUser(peer)) {
        close(peer);
        continue;
      }
      onMessage(ReadSites(peer));
      SendAll(peer, "ok");
      close(peer);
    }
  });
}

}  // namespace qb
