#include "tests/support/real_ftpd.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
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

// Runs a tool found on PATH with its standard output in out; true when it
// exits with 0.
bool RunTool(std::vector<std::string> args, const std::string& out = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = -1;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A test CA and a certificate it signed for the loopback names, made once per
// process: key generation is the slow part of a TLS test.
struct TestPki {
  std::string folder, ca, cert, key, combined, sha256;
  pid_t maker = getpid();

  TestPki() {
    std::string pattern = (fs::temp_directory_path() / "qbpki-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    folder = pattern;
    const std::string caKey = folder + "/ca.key", request = folder + "/server.csr",
                      extensions = folder + "/server.ext", printed = folder + "/sha256.txt";
    std::ofstream(extensions) << "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n"
                                 "basicConstraints=CA:FALSE\n"
                                 "keyUsage=digitalSignature,keyEncipherment\n"
                                 "extendedKeyUsage=serverAuth\n";
    const bool made =
        RunTool({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                 "/CN=qbtest CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                 "keyUsage=critical,keyCertSign,cRLSign", "-keyout", caKey, "-out",
                 folder + "/ca.pem"}) &&
        RunTool({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                 "-keyout", folder + "/server.key", "-out", request}) &&
        RunTool({"openssl", "x509", "-req", "-in", request, "-CA", folder + "/ca.pem", "-CAkey",
                 caKey, "-CAcreateserial", "-days", "30", "-extfile", extensions, "-out",
                 folder + "/server.pem"}) &&
        RunTool(
            {"openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", folder + "/server.pem"},
            printed);
    if (!made) return;
    std::ifstream in(printed);
    std::string line;
    std::getline(in, line);
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return;
    std::string print = line.substr(equals + 1);
    while (!print.empty() && std::isspace(static_cast<unsigned char>(print.back()))) {
      print.pop_back();
    }
    // Pure-FTPd reads key and certificate from one file.
    combined = folder + "/server-combined.pem";
    {
      std::ifstream keyIn(folder + "/server.key"), certIn(folder + "/server.pem");
      std::ofstream both(combined);
      both << keyIn.rdbuf() << certIn.rdbuf();
      if (!both) return;
    }
    chmod(combined.c_str(), 0600);
    ca = folder + "/ca.pem";
    cert = folder + "/server.pem";
    key = folder + "/server.key";
    sha256 = print;
  }
  ~TestPki() {
    std::error_code ignored;
    // A forked child that exits normally must not take the folder from its parent.
    if (!folder.empty() && getpid() == maker) fs::remove_all(folder, ignored);
  }
  bool Ok() const { return !sha256.empty(); }
};

const TestPki& Pki() {
  static const TestPki pki;
  return pki;
}

std::string VsftpdConfig(const std::string& root, const std::string& empty,
                         const FtpdOptions& options) {
  // Anonymous sessions run as "daemon" (vsftpd enters the account's home first,
  // and nobody's does not exist), changed root into the served folder.
  std::string config =
      "listen=NO\n"
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
  if (options.tls) {
    const char* forced = options.tlsRequired ? "YES" : "NO";
    config +=
        "ssl_enable=YES\n"
        "allow_anon_ssl=YES\n"
        "force_anon_logins_ssl=" +
        std::string(forced) + "\nforce_anon_data_ssl=" + forced +
        "\n"
        "require_ssl_reuse=YES\n"
        "ssl_ciphers=HIGH\n"
        "rsa_cert_file=" +
        Pki().cert + "\nrsa_private_key_file=" + Pki().key + "\n";
  }
  return config;
}

std::string ProftpdConfig(const std::string& root, const std::string& work, unsigned short port,
                          const FtpdOptions& options) {
  // The port the fixture listens on: the session limits count only scoreboard
  // entries of the server's own address and port.
  std::string config =
      "ServerType inetd\n"
      "ServerName \"test\"\n"
      "Port " +
      std::to_string(port) +
      "\n"
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
      "<IfModule mod_ctrls.c>\nControlsEngine off\n</IfModule>\n";
  if (options.tls) {
    // Session reuse stays required (no NoSessionReuseRequired), as shipped.
    config += "ModulePath " + FtpdCache() +
              "/usr/lib/proftpd\n"
              "LoadModule mod_tls.c\n"
              "TLSEngine on\n"
              "TLSRequired " +
              std::string(options.tlsRequired ? "on" : "off") +
              "\n"
              "TLSProtocol TLSv1.2 TLSv1.3\n"
              "TLSVerifyClient off\n"
              "TLSRSACertificateFile " +
              Pki().cert + "\nTLSRSACertificateKeyFile " + Pki().key + "\n";
  }
  config += "<Anonymous " + root +
            ">\n"
            "  User nobody\n"
            "  Group nogroup\n"
            "  UserAlias anonymous nobody\n";
  // Within <Anonymous>: anonymous sessions look their limits up there only.
  if (options.maxPerHost > 0) {
    config += "  MaxClientsPerHost " + std::to_string(options.maxPerHost) +
              " \"Too many connections (%m) from this IP\"\n";
  }
  return config + "</Anonymous>\n";
}

// Pure-FTPd serves anonymous users as the account "ftp", whose home is the
// served folder: the machine's accounts with that one put in.
bool WritePasswd(const std::string& path, const std::string& root) {
  const passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody ? nobody->pw_uid : 65534;
  const gid_t gid = nobody ? nobody->pw_gid : 65534;
  std::ifstream in("/etc/passwd");
  std::ofstream out(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("ftp:", 0) != 0 && line.rfind("_ftp:", 0) != 0) out << line << '\n';
  }
  out << "ftp:x:" << uid << ':' << gid << "::" << root << ":/usr/sbin/nologin\n";
  return static_cast<bool>(out);
}

// Whether a child may get a mount namespace whose mounts stay its own.
bool PrivateMountsPossible() {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    _exit(unshare(CLONE_NEWNS) == 0 &&
                  mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
              ? 0
              : 1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

const char* FtpdName(Ftpd kind) {
  switch (kind) {
    case Ftpd::Vsftpd:
      return "vsftpd";
    case Ftpd::Proftpd:
      return "ProFTPD";
    case Ftpd::PureFtpd:
      return "Pure-FTPd";
  }
  return "?";
}

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

RealFtpd::RealFtpd(Ftpd kind, const std::string& root, const std::string& address,
                   FtpdOptions options)
    : kind_(kind), root_(root), address_(address) {
  options.tls = options.tls || options.tlsRequired;
  options_ = options;
  const std::string name = FtpdName(kind);
  const std::string binary = FtpdCache() + (kind == Ftpd::Vsftpd    ? "/usr/sbin/vsftpd"
                                            : kind == Ftpd::Proftpd ? "/usr/sbin/proftpd"
                                                                    : "/usr/sbin/pure-ftpd");
  if (access(binary.c_str(), X_OK) != 0) {
    unavailable_ = name + " is not unpacked at " + binary + " (scripts/install-deps.sh fetches it)";
    return;
  }
  // They change root into the folder of their anonymous users, which needs root:
  // without it the absolute paths of the URLs would name the machine's own folders.
  if (geteuid() != 0) {
    unavailable_ = name + " serves anonymous users only when started as root";
    return;
  }
  if (options.maxPerHost > 0 && kind != Ftpd::Proftpd) {
    unavailable_ = name + " limits sessions per address only as a standalone server";
    return;
  }
  const std::string tlsModule = FtpdCache() + "/usr/lib/proftpd/mod_tls.so";
  if (options.tls && kind == Ftpd::Proftpd && access(tlsModule.c_str(), R_OK) != 0) {
    unavailable_ = "ProFTPD's mod_tls is not unpacked at " + tlsModule +
                   " (scripts/install-deps.sh fetches proftpd-mod-crypto)";
    return;
  }
  if (options.tls) {
    if (!Pki().Ok()) {
      unavailable_ = "openssl could not make the test certificates";
      return;
    }
    caFile_ = Pki().ca;
    certificateSha256_ = Pki().sha256;
  }
  if (kind == Ftpd::PureFtpd) {
    // The home field of the account line cannot hold these.
    if (root.find_first_of(":\n") != std::string::npos) {
      unavailable_ = "Pure-FTPd cannot serve a folder whose path holds ':'";
      return;
    }
    if (!PrivateMountsPossible()) {
      unavailable_ = "Pure-FTPd needs a private mount namespace for its anonymous account";
      return;
    }
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

  LoopbackListener listener(address.c_str());
  if (!listener.Ok() || pipe2(wake_, O_CLOEXEC) != 0) {
    unavailable_ = "cannot listen on " + address;
    return;
  }
  port_ = listener.Port();

  const std::string config = work_ + "/ftpd.conf";
  switch (kind) {
    case Ftpd::Vsftpd:
      fs::create_directory(work_ + "/empty", ignored);
      std::ofstream(config) << VsftpdConfig(root, work_ + "/empty", options);
      args_ = {binary, config};
      break;
    case Ftpd::Proftpd:
      std::ofstream(config) << ProftpdConfig(root, work_, port_, options);
      args_ = {binary, "-c", config};
      break;
    case Ftpd::PureFtpd: {
      passwd_ = work_ + "/passwd";
      // Its own user database, empty: only anonymous sessions log in, and any
      // other name gets the server's "530" (after its delay against guessing).
      const std::string users = work_ + "/users.pdb";
      std::ofstream(work_ + "/users.txt").flush();
      if (!WritePasswd(passwd_, root) ||
          !RunTool({FtpdCache() + "/usr/bin/pure-pw", "mkdb", users, "-f", work_ + "/users.txt"})) {
        unavailable_ = "cannot prepare Pure-FTPd's accounts in " + work_;
        return;
      }
      // No name look-ups of clients.
      args_ = {binary, "-H", "-l", "puredb:" + users};
      if (options.tls) {
        args_.push_back(options.tlsRequired ? "--tls=2" : "--tls=1");
        args_.push_back("--certfile=" + Pki().combined);
      }
      break;
    }
  }
  listener_ = fcntl(listener.Fd(), F_DUPFD_CLOEXEC, 3);
  thread_ = std::thread([this] { Serve(); });
}

RealFtpd::~RealFtpd() {
  StopListening();
  for (int fd : {wake_[0], wake_[1]}) {
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

void RealFtpd::StopListening() {
  if (thread_.joinable()) {
    const char stop = 0;
    (void)!write(wake_[1], &stop, 1);
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void RealFtpd::Kill() {
  StopListening();
  std::lock_guard<std::mutex> hold(childrenLock_);
  // Each server leads a process group of its own: the processes it made for
  // the session die with it. A pid still in the list is not reaped yet, so
  // neither it nor its group can name anyone else.
  for (pid_t child : children_) {
    kill(-child, SIGKILL);
    kill(child, SIGKILL);
  }
  for (pid_t child : children_) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  children_.clear();
}

bool RealFtpd::Restart() {
  if (thread_.joinable()) return true;
  if (!unavailable_.empty()) return false;
  LoopbackListener listener(address_.c_str(), port_);
  if (!listener.Ok()) listener = LoopbackListener(address_.c_str());
  if (!listener.Ok()) return false;
  if (listener.Port() != port_) {
    port_ = listener.Port();
    // ProFTPD counts its sessions by the port it is told.
    if (kind_ == Ftpd::Proftpd)
      std::ofstream(work_ + "/ftpd.conf") << ProftpdConfig(root_, work_, port_, options_);
  }
  listener_ = fcntl(listener.Fd(), F_DUPFD_CLOEXEC, 3);
  if (listener_ < 0) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
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
    if (waits[1].revents) {
      // Taken, so that a restarted loop waits again.
      char stop = 0;
      (void)!read(wake_[0], &stop, 1);
      return;
    }
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ++connections_;
    Start(connection);
    close(connection);
  }
}

void RealFtpd::Start(int connection) {
  std::vector<char*> argv;
  for (std::string& a : args_) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = work_ + "/stderr.log";
  pid_t child = -1;
  int spawned = -1;
  if (passwd_.empty()) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // vsftpd reports start-up errors on descriptor 0, the connection.
    posix_spawn_file_actions_adddup2(&actions, connection, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, connection, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    // No descriptor of the test process may outlive its owner in a server.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // The servers stop on SIGTERM, whatever the test process blocks or ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGPIPE, SIGCHLD, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  } else {
    // Only system calls between fork and exec: the test process has threads.
    child = fork();
    if (child == 0) {
      setpgid(0, 0);
      struct sigaction byDefault {};
      byDefault.sa_handler = SIG_DFL;
      for (int sig : {SIGTERM, SIGPIPE, SIGCHLD, SIGHUP}) sigaction(sig, &byDefault, nullptr);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      // Without private propagation the bind mount would reach the machine's
      // own namespace.
      if (unshare(CLONE_NEWNS) != 0 ||
          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount(passwd_.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0) {
        _exit(127);
      }
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (dup2(connection, STDIN_FILENO) < 0 || dup2(connection, STDOUT_FILENO) < 0 || err < 0 ||
          dup2(err, STDERR_FILENO) < 0) {
        _exit(127);
      }
      close_range(3, ~0U, 0);
      execve(argv[0], argv.data(), environ);
      _exit(127);
    }
    spawned = child > 0 ? 0 : -1;
    // Also here, so that Kill finds the group however soon it comes.
    if (child > 0) setpgid(child, child);
  }
  std::lock_guard<std::mutex> hold(childrenLock_);
  std::erase_if(children_, [](pid_t done) { return waitpid(done, nullptr, WNOHANG) == done; });
  if (spawned == 0) children_.push_back(child);
}

}  // namespace qbtest
