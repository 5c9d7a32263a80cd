#pragma once
// A real FTP server for tests: pyftpdlib (Debian's python3-pyftpdlib) serving a
// folder to anonymous users on loopback addresses, killed on destruction.
// Files whose name contains "refused" are listed but RETR answers 550.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qbtest {

class PyFtpd {
 public:
  // Starts the server and waits (bounded) until it listens on every address.
  explicit PyFtpd(const std::string& root,
                  const std::vector<std::string>& addresses = {"127.0.0.1"},
                  std::chrono::milliseconds bound = std::chrono::seconds(20));
  ~PyFtpd();
  PyFtpd(const PyFtpd&) = delete;
  PyFtpd& operator=(const PyFtpd&) = delete;

  bool Ready() const { return ports_.size() == addresses_.size() && !addresses_.empty(); }
  uint16_t Port(std::size_t i = 0) const { return ports_.at(i); }
  // "ftp://address:port" + path
  std::string Url(const std::string& path, std::size_t i = 0) const;

 private:
  std::vector<std::string> addresses_;
  std::vector<uint16_t> ports_;
  pid_t pid_ = -1;
  int out_ = -1;
};

// A fresh folder under the temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // Writes a file of size bytes at a path relative to the folder (folders made).
  void File(const std::string& relative, std::size_t size) const;
  void Folder(const std::string& relative) const;
  void Link(const std::string& relative, const std::string& target) const;

 private:
  std::string path_;
};

}  // namespace qbtest
