#pragma once
// vsftpd and ProFTPD, unpacked from their Debian packages by
// scripts/install-deps.sh, serving a folder to anonymous users on loopback.
// The fixture holds the listening socket and starts the server in inetd mode for
// each connection it accepts: no port is guessed and no start-up is waited for.
// Neither runs as a service or reads anything under /etc of its own.
#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qbtest {

enum class Ftpd { Vsftpd, Proftpd };

const char* FtpdName(Ftpd kind);

// Where the unpacked packages live: $QB_FTPD_CACHE, else
// ${XDG_CACHE_HOME:-~/.cache}/quillbrook/test-ftpd (install-deps.sh agrees).
std::string FtpdCache();

class RealFtpd {
 public:
  // The servers start as root and serve the tree as an unprivileged account.
  RealFtpd(Ftpd kind, const std::string& root, const std::string& address = "127.0.0.1");
  ~RealFtpd();
  RealFtpd(const RealFtpd&) = delete;
  RealFtpd& operator=(const RealFtpd&) = delete;

  // Empty while serving; otherwise why the server cannot run here.
  const std::string& Unavailable() const { return unavailable_; }
  // "ftp://address:port" + path, the address bracketed when it is IPv6.
  std::string Url(const std::string& path) const;
  // What the servers wrote on their standard error, for failure messages.
  std::string Log() const;

 private:
  void Serve();
  void Start(int connection);

  std::string unavailable_;
  std::string address_;
  std::string work_;
  std::vector<std::string> args_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  unsigned short port_ = 0;
  std::mutex childrenLock_;
  std::vector<pid_t> children_;
  std::thread thread_;
};

}  // namespace qbtest
