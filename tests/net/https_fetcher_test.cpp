// HTTPS through FetchPage against a python3 TLS server whose self-signed
// certificate the test trusts through QB_HTTPS_CA_FILE.
#include "net/https_fetcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "net/http_fetcher.h"

using namespace qb;

namespace {

const char* const ServerScript = R"PY(
import http.server, ssl, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/loop":
            self.send_response(302); self.send_header("Location", "/loop")
            self.send_header("Content-Length", "0"); self.end_headers(); return
        if self.path == "/missing":
            self.send_error(404); return
        body = b"<table><tr><td><a href='ftp://h/pub/'>h</a></td></tr></table>"
        self.send_response(200); self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for i in range(0, len(body), 16):
            part = body[i:i + 16]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
        self.wfile.write(b"0\r\n\r\n")
    protocol_version = "HTTP/1.1"
    def log_message(self, *a): pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER); c.load_cert_chain(sys.argv[1], sys.argv[2])
s.socket = c.wrap_socket(s.socket, server_side=True)
print(s.server_address[1], flush=True)
s.serve_forever()
)PY";

class HttpsServer {
 public:
  HttpsServer() {
    dir_ = std::filesystem::temp_directory_path() / ("qb-https-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    const std::string cert = (dir_ / "cert.pem").string(), key = (dir_ / "key.pem").string();
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) return;
    caFile_ = cert;
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      execlp("python3", "python3", "-c", ServerScript, cert.c_str(), key.c_str(), nullptr);
      _exit(127);
    }
    close(out[1]);
    FILE* in = fdopen(out[0], "r");
    if (in && std::fscanf(in, "%d", &port_) != 1) port_ = 0;
    if (in) std::fclose(in);
  }
  ~HttpsServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }
  bool Running() const { return port_ > 0; }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  const std::string& CaFile() const { return caFile_; }

 private:
  std::filesystem::path dir_;
  std::string caFile_;
  pid_t pid_ = -1;
  int port_ = 0;
};

std::string Fetch(const std::string& url, const char** tag) {
  std::unique_ptr<char[]> page = FetchPage(url.c_str(), tag, 5);
  return page ? std::string(page.get()) : std::string("(none)");
}

}  // namespace

TEST(FetchHttpsPage, ChecksTheCertificateFollowsBoundedRedirectsAndDecodesChunks) {
  HttpsServer server;
  if (!server.Running()) GTEST_SKIP() << "openssl or python3 could not start a TLS server";
  const char* tag = "unset";

  unsetenv(HttpsCaFileVariable);
  EXPECT_EQ(Fetch(server.Url("/"), &tag), "(none)");
  EXPECT_STREQ(tag, "TLS");

  setenv(HttpsCaFileVariable, server.CaFile().c_str(), 1);
  EXPECT_EQ(Fetch(server.Url("/"), &tag),
            "<table><tr><td><a href='ftp://h/pub/'>h</a></td></tr></table>");
  EXPECT_EQ(tag, nullptr);
  Fetch(server.Url("/loop"), &tag);
  EXPECT_STREQ(tag, "redirects");
  Fetch(server.Url("/missing"), &tag);
  EXPECT_STREQ(tag, "40x");
  unsetenv(HttpsCaFileVariable);
}
