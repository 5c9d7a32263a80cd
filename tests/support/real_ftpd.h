#pragma once
// vsftpd, ProFTPD and Pure-FTPd, unpacked from their Debian packages by
// scripts/install-deps.sh, serving a folder to anonymous users on loopback.
// The fixture holds the listening socket and starts the server in inetd mode for
// each connection it accepts: no port is guessed and no start-up is waited for.
// None runs as a service or reads anything under /etc of its own.
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qbtest {

enum class Ftpd { Vsftpd, Proftpd, PureFtpd };

const char* FtpdName(Ftpd kind);

// Where the unpacked packages live: $QB_FTPD_CACHE, else
// ${XDG_CACHE_HOME:-~/.cache}/quillbrook/test-ftpd (install-deps.sh agrees).
std::string FtpdCache();

struct FtpdOptions {
  // AUTH TLS offered, plain sessions still served. The certificate is signed by
  // a test CA (CaFile) for localhost, 127.0.0.1 and ::1. vsftpd and ProFTPD
  // refuse a protected data connection that does not resume the control
  // connection's TLS session, as Debian ships them; Pure-FTPd does not ask.
  bool tls = false;
  // Plain sessions refused (implies tls).
  bool tlsRequired = false;
  // >0: at most this many logged-in sessions from one address. ProFTPD only (the
  // others count sessions only as standalone servers); the next one's PASS is
  // answered "530 Too many connections (N) from this IP" and the connection closed.
  int maxPerHost = 0;
};

class RealFtpd {
 public:
  // The servers start as root and serve the tree as an unprivileged account.
  RealFtpd(Ftpd kind, const std::string& root, const std::string& address = "127.0.0.1",
           FtpdOptions options = {});
  ~RealFtpd();
  RealFtpd(const RealFtpd&) = delete;
  RealFtpd& operator=(const RealFtpd&) = delete;

  // Empty while serving; otherwise why the server cannot run here.
  const std::string& Unavailable() const { return unavailable_; }
  // "ftp://address:port" + path, the address bracketed when it is IPv6.
  std::string Url(const std::string& path) const;
  // What the servers wrote on their standard error, for failure messages.
  std::string Log() const;

  // With TLS: the PEM file of the CA a client is to trust, and the server
  // certificate's SHA-256 fingerprint as uppercase hex pairs joined by ':'
  // (as openssl x509 -fingerprint prints it). Empty without TLS.
  const std::string& CaFile() const { return caFile_; }
  std::string CertificateSha256() const { return certificateSha256_; }

  // The control connections accepted so far, one a session.
  int Connections() const { return connections_.load(); }

  // The server dies as a crash or a power cut would have it: every process
  // serving a session now is killed (SIGKILL, with the processes it made), and
  // connections are refused until Restart. Returns once they are gone.
  void Kill();
  // Serves the same folder again, on the same port when it can still be had,
  // else on another (Url tells); false when no port could be had.
  bool Restart();

 private:
  void Serve();
  void Start(int connection);
  void StopListening();

  Ftpd kind_;
  std::string root_;
  FtpdOptions options_;
  std::string unavailable_;
  std::string address_;
  std::string work_;
  std::string caFile_;
  std::string certificateSha256_;
  std::vector<std::string> args_;
  // Pure-FTPd finds its anonymous account only in the password database: each
  // session gets a private mount namespace where this file is /etc/passwd.
  std::string passwd_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  unsigned short port_ = 0;
  std::atomic<int> connections_{0};
  std::mutex childrenLock_;
  std::vector<pid_t> children_;
  std::thread thread_;
};

}  // namespace qbtest
