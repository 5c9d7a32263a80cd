#include "tests/support/real_ftpd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/loopback_listener.h"
#include "tests/support/wait.h"

extern char** environ;

namespace qbtest {

namespace fs = std::filesystem;

namespace {

std::string VsftpdConfig(const std::string& root, const std::string& empty) {
  // Anonymous sessions run as "daemon" (vsftpd enters the account's home first,
  // and nobody's does not exist), changed root into the served folder.
  return "listen=NO\n"
         "anonymous_enable=YES\n"
         "local_enable=NO\n"
         "anon_root=" +
         root + "\nsecure_chroot_dir=" + empty +
         "\n"
         "ftp_username=daemon\n"
         "nopriv_user=nobody\n"
         "pasv_enable=YES\n"
         "port_enable=YES\n"
         "seccomp_sandbox=NO\n"
         "isolate=NO\n"
         "isolate_network=NO\n"
         "xferlog_enable=NO\n";
}

std::string ProftpdConfig(const std::string& root, const std::string& work) {
  return "ServerType inetd\n"
         "ServerName \"test\"\n"
         "User nobody\n"
         "Group nogroup\n"
         "UseIPv6 on\n"
         "PidFile " +
         work + "/proftpd.pid\nScoreboardFile " + work +
         "/scoreboard\n"
         "DelayTable none\n"
         "WtmpLog off\n"
         "UseReverseDNS off\n"
         "TransferLog none\n"
         "RequireValidShell off\n"
         "<IfModule mod_auth_pam.c>\nAuthPAM off\n</IfModule>\n"
         "<IfModule mod_ctrls.c>\nControlsEngine off\n</IfModule>\n"
         "<Anonymous " +
         root +
         ">\n"
         "  User nobody\n"
         "  Group nogroup\n"
         "  UserAlias anonymous nobody\n"
         "</Anonymous>\n";
}

}  // namespace

const char* FtpdName(Ftpd kind) { return kind == Ftpd::Vsftpd ? "vsftpd" : "ProFTPD"; }

std::string FtpdCache() {
  if (const char* set = std::getenv("QB_FTPD_CACHE"); set && *set) return set;
  std::string base;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.cache";
  } else {
    base = "/tmp";
  }
  return base + "/quillbrook/test-ftpd";
}

RealFtpd::RealFtpd(Ftpd kind, const std::string& root, const std::string& address)
    : address_(address) {
  const bool root_user = geteuid() == 0;
  const std::string binary =
      FtpdCache() + (kind == Ftpd::Vsftpd ? "/usr/sbin/vsftpd" : "/usr/sbin/proftpd");
  if (access(binary.c_str(), X_OK) != 0) {
    unavailable_ = std::string(FtpdName(kind)) + " is not unpacked at " + binary +
                   " (scripts/install-deps.sh fetches it)";
    return;
  }
  // Both change root into the folder of their anonymous users, which needs root:
  // without it the absolute paths of the URLs would name the machine's own folders.
  if (!root_user) {
    unavailable_ =
        std::string(FtpdName(kind)) + " serves anonymous users only when started as root";
    return;
  }
  std::string pattern = (fs::temp_directory_path() / "qbftpd-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    unavailable_ = "no temporary folder";
    return;
  }
  work_ = pattern;
  // The server's user walks into the served tree.
  std::error_code ignored;
  fs::permissions(root,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  ignored);
  const std::string config = work_ + "/ftpd.conf";
  {
    std::ofstream out(config);
    if (kind == Ftpd::Vsftpd) {
      fs::create_directory(work_ + "/empty", ignored);
      out << VsftpdConfig(root, work_ + "/empty");
    } else {
      out << ProftpdConfig(root, work_);
    }
  }
  if (kind == Ftpd::Vsftpd) {
    args_ = {binary, config};
  } else {
    args_ = {binary, "-c", config};
  }

  LoopbackListener listener(address.c_str());
  if (!listener.Ok() || pipe2(wake_, O_CLOEXEC) != 0) {
    unavailable_ = "cannot listen on " + address;
    return;
  }
  port_ = listener.Port();
  listener_ = fcntl(listener.Fd(), F_DUPFD_CLOEXEC, 3);
  thread_ = std::thread([this] { Serve(); });
}

RealFtpd::~RealFtpd() {
  if (thread_.joinable()) {
    const char stop = 0;
    (void)!write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
  std::lock_guard<std::mutex> hold(childrenLock_);
  for (pid_t child : children_) kill(child, SIGTERM);
  for (pid_t child : children_) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; },
                   std::chrono::seconds(2))) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
  }
  std::error_code ignored;
  if (!work_.empty()) fs::remove_all(work_, ignored);
}

std::string RealFtpd::Url(const std::string& path) const {
  const bool v6 = address_.find(':') != std::string::npos;
  return "ftp://" + (v6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_) + path;
}

std::string RealFtpd::Log() const {
  std::ifstream in(work_ + "/stderr.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void RealFtpd::Serve() {
  for (;;) {
    pollfd waits[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(waits, 2, -1) < 0) continue;
    if (waits[1].revents) return;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Start(connection);
    close(connection);
  }
}

void RealFtpd::Start(int connection) {
  std::vector<char*> argv;
  for (std::string& a : args_) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = work_ + "/stderr.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // vsftpd reports start-up errors on descriptor 0, the connection.
  posix_spawn_file_actions_adddup2(&actions, connection, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, connection, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  // No descriptor of the test process may outlive its owner in a server.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  std::lock_guard<std::mutex> hold(childrenLock_);
  std::erase_if(children_, [](pid_t done) { return waitpid(done, nullptr, WNOHANG) == done; });
  if (spawned == 0) children_.push_back(child);
}

}  // namespace qbtest
