#pragma once
// A loopback HTTPS server for tests: python3's TLS server with a self-signed
// certificate made by openssl, which a test trusts through QB_HTTPS_CA_FILE.
// Its pages go out chunked, to GET and POST alike; "/loop..." redirects to
// itself, unknown paths are 404.
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>

namespace qbtest {

class HttpsTestServer {
 public:
  // Body by request target (path and query as sent).
  using Pages = std::map<std::string, std::string>;
  explicit HttpsTestServer(const Pages& pages);
  ~HttpsTestServer();
  HttpsTestServer(const HttpsTestServer&) = delete;
  HttpsTestServer& operator=(const HttpsTestServer&) = delete;

  // False when openssl or python3 could not start it.
  bool Running() const { return port_ > 0; }
  int Port() const { return port_; }
  std::string Url(const std::string& target) const;
  const std::string& CaFile() const { return caFile_; }

 private:
  std::filesystem::path dir_;
  std::string caFile_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qbtest
