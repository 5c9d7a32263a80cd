#include "bench/delayed_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace qbbench {

namespace {

const std::string Listing =
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 12  1999 docs\r\n"
    "-rw-r--r--   1 ftp      ftp          1000 Jan 12 10:30 small.bin\r\n"
    "-rw-r--r--   1 ftp      ftp        200000 Jan 12 10:30 big.bin\r\n"
    "-rw-r--r--   1 ftp      ftp         50000 Mar  5  2001 middle.bin\r\n";

constexpr std::size_t FileSize = 200000;

// LIST's options ("-a", "-la") before its path.
std::string_view WithoutOptions(std::string_view argument) {
  while (!argument.empty() && argument.front() == '-') {
    const std::size_t space = argument.find(' ');
    argument = space == std::string_view::npos ? std::string_view() : argument.substr(space + 1);
    while (!argument.empty() && argument.front() == ' ') argument.remove_prefix(1);
  }
  return argument;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Each write is a whole reply or flight: held back for an acknowledgement
// that the client delays (40 ms here), it would add waits no network has.
void SetUp(int fd) {
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// The data connection of one transfer: accepted on the passive listener, or
// made to the client's PORT address.
int OpenData(qbtest::LoopbackListener* passive, const sockaddr_in& active) {
  int fd = -1;
  if (passive) {
    pollfd p{passive->Fd(), POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return -1;
    fd = accept(passive->Fd(), nullptr, nullptr);
  } else {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&active), sizeof active) != 0) {
      close(fd);
      return -1;
    }
  }
  if (fd >= 0) SetUp(fd);
  return fd;
}

// A self-signed certificate for 127.0.0.1 on a fresh P-256 key: the client
// takes an unverified one for an anonymous login.
SSL_CTX* MakeServerContext() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  bool ok = key && cert && ctx;
  if (ok) {
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1");
    ok = san && X509_add_ext(cert, san, -1) == 1;
    X509_EXTENSION_free(san);
    ok = ok && X509_sign(cert, key, EVP_sha256()) > 0 && SSL_CTX_use_certificate(ctx, cert) == 1 &&
         SSL_CTX_use_PrivateKey(ctx, key) == 1;
  }
  if (ok) {
    // Data connections resume the control connection's session, by ticket
    // (TLS 1.3) or from the cache.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_SERVER);
    static const unsigned char Context[] = "qbbench-ftp";
    SSL_CTX_set_session_id_context(ctx, Context, sizeof Context - 1);
    // Clients drop data connections without close_notify as often as with it.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!ok) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

}  // namespace

// One connection of a session, plain until Secure. The handshake's flights
// that the client waits for go out D late, as a reply does; those it does not
// wait for (TLS 1.3 session tickets) and application data go at once.
class Channel {
 public:
  Channel(int fd, std::chrono::milliseconds delay) : fd_(fd), delay_(delay) {}
  ~Channel() {
    SSL_free(ssl_);
    if (fd_ >= 0) close(fd_);
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  bool Secure(SSL_CTX* ctx) {
    static BIO_METHOD* const Method = MakeMethod();
    ssl_ = Method ? SSL_new(ctx) : nullptr;
    if (!ssl_) return false;
    BIO* bio = BIO_new(Method);
    if (!bio) return false;
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_app_data(ssl_, this);
    ERR_clear_error();
    const bool done = SSL_accept(ssl_) == 1;
    ERR_clear_error();
    return Flush() && done;
  }
  bool Resumed() const { return ssl_ && SSL_session_reused(ssl_) == 1; }
  // Whether the client's hello came, and offered a session to resume (a TLS
  // 1.3 pre-shared key or a TLS 1.2 ticket).
  bool Hello() const { return hello_; }
  bool Offered() const { return offered_; }
  static int OnHello(SSL* ssl, int*, void*) {
    Channel* self = static_cast<Channel*>(SSL_get_app_data(ssl));
    const unsigned char* bytes = nullptr;
    std::size_t length = 0;
    self->hello_ = true;
    self->offered_ =
        SSL_client_hello_get0_ext(ssl, TLSEXT_TYPE_psk, &bytes, &length) == 1 ||
        (SSL_client_hello_get0_ext(ssl, TLSEXT_TYPE_session_ticket, &bytes, &length) == 1 &&
         length > 0);
    return SSL_CLIENT_HELLO_SUCCESS;
  }

  bool Send(std::string_view bytes) {
    if (!ssl_) return SendAll(fd_, bytes);
    ERR_clear_error();
    const bool sent =
        bytes.empty() || SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) > 0;
    ERR_clear_error();
    return sent;
  }
  ssize_t Receive(char* into, std::size_t room) {
    if (!ssl_) return RawReceive(into, room);
    ERR_clear_error();
    const int n = SSL_read(ssl_, into, static_cast<int>(room));
    ERR_clear_error();
    return n;
  }
  void Shutdown() {
    if (!ssl_) return;
    SSL_shutdown(ssl_);
    ERR_clear_error();
  }

 private:
  static BIO_METHOD* MakeMethod() {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qbbench-delayed");
    if (!m) return nullptr;
    BIO_meth_set_write(
        m, [](BIO* b, const char* data, int length) { return Of(b)->Write(data, length); });
    BIO_meth_set_read(m, [](BIO* b, char* into, int room) {
      const ssize_t n = Of(b)->RawReceive(into, static_cast<std::size_t>(room > 0 ? room : 0));
      return n < 0 ? -1 : static_cast<int>(n);
    });
    BIO_meth_set_ctrl(m, [](BIO* b, int command, long, void*) -> long {
      if (command != BIO_CTRL_FLUSH) return 0;
      return Of(b)->Flush() ? 1 : 0;
    });
    BIO_meth_set_create(m, [](BIO* b) {
      BIO_set_init(b, 1);
      return 1;
    });
    return m;
  }
  static Channel* Of(BIO* b) { return static_cast<Channel*>(BIO_get_data(b)); }

  ssize_t RawReceive(char* into, std::size_t room) {
    for (;;) {
      const ssize_t n = recv(fd_, into, room, 0);
      if (n < 0 && errno == EINTR) continue;
      return n;
    }
  }
  int Write(const char* data, int length) {
    if (length <= 0) return 0;
    // A flight is sent whole when the library flushes it, so that its delay
    // is paid once.
    if (SSL_in_init(ssl_)) {
      flight_.append(data, static_cast<std::size_t>(length));
      return length;
    }
    return Flush() && SendAll(fd_, {data, static_cast<std::size_t>(length)}) ? length : -1;
  }
  bool Flush() {
    if (flight_.empty()) return true;
    // Tickets follow the handshake's end: the client reads them with the
    // next reply, without waiting for them.
    const OSSL_HANDSHAKE_STATE state = SSL_get_state(ssl_);
    if (state != TLS_ST_SW_SESSION_TICKET && state != TLS_ST_OK)
      std::this_thread::sleep_for(delay_);
    const bool sent = SendAll(fd_, flight_);
    flight_.clear();
    return sent;
  }

  int fd_;
  std::chrono::milliseconds delay_;
  SSL* ssl_ = nullptr;
  std::string flight_;
  bool hello_ = false;
  bool offered_ = false;
};

// The data connection of one transfer, secured on a thread of its own so
// that its handshake and the control connection's replies go on at once, as
// over a network.
struct DataLink {
  std::unique_ptr<Channel> channel;
  bool secured = false;
  std::thread shake;
  ~DataLink() {
    if (shake.joinable()) shake.join();
  }
};

DelayedFtpServer::DelayedFtpServer(int ports, std::chrono::milliseconds delay, bool tls,
                                   FtpTree tree)
    : delay_(delay), tree_(tree), tlsWanted_(tls) {
  if (tree_.fanout < 1) tree_.fanout = 1;
  if (tls) tls_ = MakeServerContext();
  if (tls_) SSL_CTX_set_client_hello_cb(tls_, &Channel::OnHello, nullptr);
  for (int i = 0; i < ports; ++i) listeners_.emplace_back("127.0.0.1", 0, 64);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

DelayedFtpServer::~DelayedFtpServer() {
  stopping_ = true;
  acceptor_.join();
  for (auto& l : listeners_) l.Close();
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& s : sessions_) s.join();
  }
  SSL_CTX_free(tls_);
}

bool DelayedFtpServer::Ok() const {
  if (tlsWanted_ && !tls_) return false;
  for (const auto& l : listeners_)
    if (!l.Ok()) return false;
  return !listeners_.empty();
}

std::string DelayedFtpServer::Url(int port) const {
  return listeners_.at(static_cast<std::size_t>(port))
      .Url("ftp", tree_.folders > 0 ? "/" : "/pub/");
}

std::optional<int> DelayedFtpServer::Resolve(int cwd, std::string_view path) const {
  // The folders from the top down, the top itself left out.
  std::vector<int> chain;
  if (path.empty() || path.front() != '/')
    for (int f = cwd; f > 0; f = (f - 1) / tree_.fanout) chain.insert(chain.begin(), f);
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!chain.empty()) chain.pop_back();
      continue;
    }
    // "d<number>", the number a folder of the parent's.
    if (segment.size() < 2 || segment[0] != 'd' || (segment.size() > 2 && segment[1] == '0'))
      return std::nullopt;
    int64_t child = 0;
    for (const char c : segment.substr(1)) {
      if (c < '0' || c > '9') return std::nullopt;
      child = child * 10 + (c - '0');
      if (child >= tree_.folders) return std::nullopt;
    }
    const int parent = chain.empty() ? 0 : chain.back();
    if (child == 0 || (child - 1) / tree_.fanout != parent) return std::nullopt;
    chain.push_back(static_cast<int>(child));
  }
  return chain.empty() ? 0 : chain.back();
}

std::string DelayedFtpServer::PathOf(int folder) const {
  std::string path;
  for (int f = folder; f > 0; f = (f - 1) / tree_.fanout) path.insert(0, "/d" + std::to_string(f));
  return path.empty() ? "/" : path;
}

std::string DelayedFtpServer::TreeListing(int folder, bool mlsd) const {
  std::string out;
  char line[128];
  for (int k = 0; k < tree_.fanout; ++k) {
    const int64_t child = int64_t{tree_.fanout} * folder + 1 + k;
    if (child >= tree_.folders) break;
    if (mlsd)
      std::snprintf(line, sizeof line, "type=dir;modify=20010112103000; d%lld\r\n",
                    static_cast<long long>(child));
    else
      std::snprintf(line, sizeof line,
                    "drwxr-xr-x   2 ftp      ftp          4096 Jan 12  2001 d%lld\r\n",
                    static_cast<long long>(child));
    out += line;
  }
  for (int j = 0; j < tree_.filesPerFolder; ++j) {
    // Sizes differ from folder to folder, so that no two listings are alike.
    const long long size = 1000 + 37LL * j + folder;
    if (mlsd)
      std::snprintf(line, sizeof line, "type=file;size=%lld;modify=20010112103000; f%d.bin\r\n",
                    size, j);
    else
      std::snprintf(line, sizeof line,
                    "-rw-r--r--   1 ftp      ftp      %10lld Jan 12  2001 f%d.bin\r\n", size, j);
    out += line;
  }
  return out;
}

void DelayedFtpServer::AcceptLoop() {
  std::vector<pollfd> polls;
  for (const auto& l : listeners_) polls.push_back({l.Fd(), POLLIN, 0});
  while (!stopping_) {
    if (poll(polls.data(), polls.size(), 50) <= 0) continue;
    for (const pollfd& p : polls) {
      if (!(p.revents & POLLIN)) continue;
      const int fd = accept(p.fd, nullptr, nullptr);
      if (fd < 0) continue;
      ++sessionCount_;
      std::lock_guard<std::mutex> hold(lock_);
      sessions_.emplace_back([this, fd] { Serve(fd); });
    }
  }
}

void DelayedFtpServer::Reply(Channel& channel, const std::string& line) const {
  std::this_thread::sleep_for(delay_);
  channel.Send(line + "\r\n");
}

void DelayedFtpServer::Serve(int fd) {
  SetUp(fd);
  Channel control(fd, delay_);
  Reply(control, "220 ready");
  std::unique_ptr<qbtest::LoopbackListener> passive;
  // Declared after the listener it accepts on, so that it ends first.
  std::unique_ptr<DataLink> link;
  sockaddr_in active{};
  std::string pending;
  char buf[1024];
  std::size_t restart = 0;
  bool privateData = false;
  int cwd = 0;  // in the tree
  while (!stopping_) {
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) {
      const ssize_t n = control.Receive(buf, sizeof buf);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    ++commands_;
    std::string verb = line.substr(0, line.find(' '));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
    if (verb == "USER") {
      Reply(control, "331 password");
    } else if (verb == "PASS") {
      Reply(control, "230 welcome");
    } else if (verb == "TYPE" || verb == "SITE") {
      Reply(control, "200 ok");
    } else if (verb == "CWD" && tree_.folders > 0) {
      const std::optional<int> to = Resolve(cwd, argument);
      if (to) cwd = *to;
      Reply(control, to ? "250 ok" : "550 No such folder");
    } else if (verb == "CDUP" && tree_.folders > 0) {
      cwd = cwd > 0 ? (cwd - 1) / tree_.fanout : 0;
      Reply(control, "250 ok");
    } else if (verb == "CWD") {
      Reply(control, "250 ok");
    } else if (verb == "PWD") {
      Reply(control,
            "257 \"" + (tree_.folders > 0 ? PathOf(cwd) : "/") + "\" is the current folder");
    } else if (verb == "SIZE") {
      Reply(control, "213 " + std::to_string(FileSize));
    } else if (verb == "FEAT" && (tls_ || tree_.mlsd)) {
      std::string features;
      if (tls_) features += " AUTH TLS\r\n PBSZ\r\n PROT\r\n";
      if (tree_.mlsd) features += " MLST type*;size*;modify*;\r\n MLSD\r\n";
      Reply(control, "211-Features:\r\n" + features + "211 End");
    } else if (verb == "AUTH" && tls_) {
      // Some clients ask for the old name first.
      std::string mechanism = argument;
      for (char& c : mechanism) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (mechanism != "TLS" && mechanism != "SSL" && mechanism != "TLS-C") {
        Reply(control, "504 unknown mechanism");
        continue;
      }
      Reply(control, "234 go ahead");
      // Nothing may come between the command and the handshake.
      if (!pending.empty() || !control.Secure(tls_)) break;
      ++controlHandshakes_;
    } else if (verb == "PBSZ" && tls_) {
      Reply(control, "200 PBSZ=0");
    } else if (verb == "PROT" && tls_) {
      privateData = argument == "P" || argument == "p";
      Reply(control, privateData ? "200 data private" : "200 data clear");
    } else if (verb == "PASV" || verb == "EPSV") {
      link.reset();
      passive = std::make_unique<qbtest::LoopbackListener>("127.0.0.1");
      if (privateData) {
        // Accepted and secured as soon as the client connects: some clients
        // shake hands before they send the transfer command and wait for
        // that before they read its replies.
        link = std::make_unique<DataLink>();
        link->shake = std::thread([this, l = link.get(), listener = passive.get()] {
          const int fd = OpenData(listener, sockaddr_in{});
          if (fd < 0) return;
          l->channel = std::make_unique<Channel>(fd, delay_);
          l->secured = l->channel->Secure(tls_);
        });
      }
      const unsigned port = passive->Port();
      char text[80];
      if (verb == "PASV")
        std::snprintf(text, sizeof text, "227 Entering Passive Mode (127,0,0,1,%u,%u)", port >> 8,
                      port & 255);
      else
        std::snprintf(text, sizeof text, "229 Entering Extended Passive Mode (|||%u|)", port);
      Reply(control, text);
    } else if (verb == "PORT") {
      unsigned v[6];
      if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                      &v[5]) == 6) {
        active = sockaddr_in{};
        active.sin_family = AF_INET;
        active.sin_addr.s_addr = htonl((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
        active.sin_port = htons(static_cast<uint16_t>((v[4] << 8) | v[5]));
        link.reset();
        passive.reset();
        Reply(control, "200 PORT ok");
      } else {
        Reply(control, "501 bad PORT");
      }
    } else if (verb == "REST") {
      restart = std::strtoul(argument.c_str(), nullptr, 10);
      Reply(control, "350 restarting");
    } else if (verb == "LIST" || verb == "RETR" || (verb == "MLSD" && tree_.mlsd)) {
      std::optional<int> listed;
      if (tree_.folders > 0 && verb != "RETR") {
        listed = Resolve(cwd, verb == "LIST" ? WithoutOptions(argument) : argument);
        if (!listed) {
          link.reset();
          passive.reset();
          Reply(control, "550 No such folder");
          continue;
        }
      }
      std::unique_ptr<DataLink> data = std::move(link);
      if (!data) {
        const int dataFd = OpenData(passive.get(), active);
        if (dataFd < 0) {
          Reply(control, "425 no data connection");
          continue;
        }
        data = std::make_unique<DataLink>();
        data->channel = std::make_unique<Channel>(dataFd, delay_);
        data->secured = !privateData;
        // The client shakes hands as soon as it is connected, over the same
        // round trip as this reply.
        if (privateData)
          data->shake =
              std::thread([this, l = data.get()] { l->secured = l->channel->Secure(tls_); });
      }
      Reply(control, "150 opening");
      if (data->shake.joinable()) data->shake.join();
      if (data->channel && privateData) {
        dataHellos_ += data->channel->Hello();
        dataOffered_ += data->channel->Offered();
        if (data->secured) {
          ++dataHandshakes_;
          dataResumed_ += data->channel->Resumed();
        }
      }
      const bool sendable = data->channel && data->secured;
      if (sendable) {
        const std::string bytes =
            listed           ? TreeListing(*listed, verb == "MLSD")
            : verb == "LIST" ? Listing
                             : std::string(restart < FileSize ? FileSize - restart : 0, 'b');
        if (data->channel->Send(bytes)) {
          data->channel->Shutdown();
          if (verb != "RETR") ++listings_;
        }
      }
      data.reset();
      passive.reset();
      restart = 0;
      if (listed && sendable)
        control.Send("226 done\r\n");
      else
        Reply(control, sendable ? "226 done" : "425 no secured data connection");
    } else if (verb == "ABOR") {
      Reply(control, "226 aborted");
    } else if (verb == "QUIT") {
      Reply(control, "221 bye");
      break;
    } else {
      Reply(control, "502 not here");
    }
  }
  control.Shutdown();
}

}  // namespace qbbench
