#include "tests/support/pyftpd_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/wait.h"

extern char** environ;

namespace qbtest {

namespace fs = std::filesystem;

PyFtpd::PyFtpd(const std::string& root, const std::vector<std::string>& addresses,
               std::chrono::milliseconds bound)
    : addresses_(addresses) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return;
  const std::string script = std::string(QB_TEST_SUPPORT_DIR) + "/ftp_server.py";
  std::vector<std::string> args = {"/usr/bin/python3", script, "--root", root};
  for (const std::string& a : addresses) {
    args.push_back("--address");
    args.push_back(a);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  // The server logs every session on stderr; tests only need its READY lines.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  out_ = pipeFds[0];
  if (spawned != 0) {
    pid_ = -1;
    return;
  }

  // The server prints one "READY address port" line per address once listening.
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::string text;
  while (ports_.size() < addresses_.size()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    char buf[256];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return;
    text.append(buf, static_cast<std::size_t>(n));
    for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) {
      char address[64];
      unsigned port = 0;
      if (std::sscanf(text.substr(0, end).c_str(), "READY %63s %u", address, &port) == 2) {
        ports_.push_back(static_cast<uint16_t>(port));
      }
    }
  }
}

PyFtpd::~PyFtpd() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = qbtest::WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                                         std::chrono::seconds(2));
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  if (out_ >= 0) close(out_);
}

std::string PyFtpd::Url(const std::string& path, std::size_t i) const {
  return "ftp://" + addresses_.at(i) + ":" + std::to_string(Port(i)) + path;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "qbftp-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

void TempDir::File(const std::string& relative, std::size_t size) const {
  const fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary);
  const std::string block(4096, 'x');
  for (std::size_t left = size; left > 0;) {
    const std::size_t n = left < block.size() ? left : block.size();
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
}

void TempDir::Folder(const std::string& relative) const {
  fs::create_directories(fs::path(path_) / relative);
}

void TempDir::Link(const std::string& relative, const std::string& target) const {
  fs::create_symlink(target, fs::path(path_) / relative);
}

}  // namespace qbtest
