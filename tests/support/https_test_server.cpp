#include "tests/support/https_test_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace qbtest {

namespace {

const char* const ServerScript = R"PY(
import http.server, os, ssl, sys
folder = os.path.dirname(sys.argv[3])
pages = {}
for line in open(sys.argv[3], "rb").read().split(b"\n"):
    if line:
        target, name = line.split(b"\t")
        pages[target.decode()] = open(os.path.join(folder, name.decode()), "rb").read()
class H(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        if self.path.startswith("/loop"):
            self.send_response(302); self.send_header("Location", self.path)
            self.send_header("Content-Length", "0"); self.end_headers(); return
        if self.path not in pages:
            self.send_error(404); return
        body = pages[self.path]
        self.send_response(200); self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Content-Type", "text/html"); self.end_headers()
        for i in range(0, len(body), 16):
            part = body[i:i + 16]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
        self.wfile.write(b"0\r\n\r\n")
    def do_POST(self):
        # An API's search by POST: the body is read and the page is the path's.
        n = int(self.headers.get("Content-Length") or 0)
        if n: self.rfile.read(n)
        self.do_GET()
    def log_message(self, *a): pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER); c.load_cert_chain(sys.argv[1], sys.argv[2])
s.socket = c.wrap_socket(s.socket, server_side=True)
print(s.server_address[1], flush=True)
s.serve_forever()
)PY";

}  // namespace

HttpsTestServer::HttpsTestServer(const Pages& pages) {
  static std::atomic<int> made{0};
  dir_ = std::filesystem::temp_directory_path() /
         ("qb-https-" + std::to_string(getpid()) + "-" + std::to_string(made++));
  std::filesystem::create_directories(dir_);
  const std::string cert = (dir_ / "cert.pem").string(), key = (dir_ / "key.pem").string();
  // One file per page and an index of request targets, so any bytes can be served.
  const std::string routes = (dir_ / "pages.txt").string();
  {
    std::ofstream index(routes, std::ios::binary);
    int n = 0;
    for (const auto& [target, body] : pages) {
      const std::string name = "page" + std::to_string(n++);
      std::ofstream(dir_ / name, std::ios::binary) << body;
      index << target << '\t' << name << '\n';
    }
  }
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return;  // NOLINT(cert-env33-c): openssl as a tool
  caFile_ = cert;
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    execlp("python3", "python3", "-c", ServerScript, cert.c_str(), key.c_str(), routes.c_str(),
           nullptr);
    _exit(127);
  }
  close(out[1]);
  FILE* in = fdopen(out[0], "r");
  if (in && std::fscanf(in, "%d", &port_) != 1) port_ = 0;
  if (in) std::fclose(in);
}

HttpsTestServer::~HttpsTestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string HttpsTestServer::Url(const std::string& target) const {
  return "https://127.0.0.1:" + std::to_string(port_) + target;
}

}  // namespace qbtest
