#include "net/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex ContextLock;
std::string ExtraTrustFile;              // guarded by ContextLock
std::shared_ptr<SSL_CTX> SharedContext;  // guarded by ContextLock
BIO_METHOD* StreamBioMethod = nullptr;   // made once, under ContextLock

// Every handshake shares the context's trusted certificates. The library
// fills a certificate's cached extensions on first use and later reads them
// behind a flag of its own; filling them here, before any handshake can share
// the context, leaves handshakes only reading (and keeps ThreadSanitizer,
// which cannot see that flag inside libcrypto, from reporting a race).
void FillCertificateCaches(SSL_CTX* ctx) {
  X509_STORE* store = SSL_CTX_get_cert_store(ctx);
  if (!store) return;
  STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
  for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
    if (X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i)))
      X509_check_purpose(cert, -1, 0);
  }
}

std::shared_ptr<SSL_CTX> MakeContext(const std::string& extra) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) return nullptr;
  SSL_CTX_set_default_verify_paths(ctx);
  if (!extra.empty()) SSL_CTX_load_verify_locations(ctx, extra.c_str(), nullptr);
  // The verdict is read after the handshake: an anonymous login goes on with
  // a certificate nobody vouches for, a login with a password does not.
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
  // Servers close data connections without close_notify as often as with it.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // No client cache: it would spend the control connection's session on the
  // first data connection that resumes it (TLS 1.3 tickets are single-use to
  // it), and every later transfer would then be refused by servers that want
  // the session reused. Each data connection resumes a copy instead.
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  FillCertificateCaches(ctx);
  return std::shared_ptr<SSL_CTX>(ctx, SSL_CTX_free);
}

std::string HexPairs(const unsigned char* bytes, unsigned length) {
  std::string out;
  char pair[4];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, i ? ":%02X" : "%02X", bytes[i]);
    out += pair;
  }
  return out;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

// The TLS library's reads and writes go through the stream underneath, with
// the wait and abort flag of the call that caused them.
struct TlsBio {
  static TlsStream* Of(BIO* bio) { return static_cast<TlsStream*>(BIO_get_data(bio)); }

  static int Write(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    if (length <= 0) return 0;
    return Of(bio)->inner_->SendAll(data, static_cast<std::size_t>(length)) ? length : -1;
  }

  static int Read(BIO* bio, char* into, int room) {
    BIO_clear_retry_flags(bio);
    if (room <= 0) return 0;
    TlsStream* stream = Of(bio);
    for (;;) {
      // The library reads on until a whole record is in: the call's one wait
      // is shared by all its reads, so a server sending a byte at a time
      // cannot hold it a wait per byte.
      int wait = stream->waitMs_;
      if (wait > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(stream->until_ - Clock::now());
        wait = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
      }
      const ssize_t n = wait == 0 && stream->waitMs_ > 0
                            ? -1
                            : stream->inner_->ReceiveSome(into, static_cast<std::size_t>(room),
                                                          wait, stream->abort_);
      if (n == ByteStream::Again) continue;
      if (n > 0) return static_cast<int>(n);
      if (n == 0) return 0;
      stream->timedOut_ = true;
      BIO_set_retry_read(bio);
      return -1;
    }
  }

  static long Control(BIO* /*bio*/, int command, long /*number*/, void* /*data*/) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
  }

  static int Create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
  }
};

TlsStream::TlsStream(std::unique_ptr<ByteStream> inner, SSL* ssl, int timeoutMs)
    : inner_(std::move(inner)), ssl_(ssl), timeoutMs_(timeoutMs) {}

TlsStream::~TlsStream() { SSL_free(ssl_); }

void TlsStream::Arm(int waitMs, const std::atomic<bool>* abort) {
  waitMs_ = waitMs;
  until_ = Clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
  abort_ = abort;
}

void SetExtraTrustFile(const std::string& path) {
  std::lock_guard<std::mutex> hold(ContextLock);
  ExtraTrustFile = path;
  SharedContext.reset();
}

std::unique_ptr<TlsStream> TlsStream::Begin(std::unique_ptr<ByteStream> inner,
                                            const std::string& host, int timeoutMs,
                                            SSL_SESSION* resume) {
  if (!inner) return nullptr;
  std::shared_ptr<SSL_CTX> context;
  BIO_METHOD* method = nullptr;
  {
    std::lock_guard<std::mutex> hold(ContextLock);
    if (!SharedContext) SharedContext = MakeContext(ExtraTrustFile);
    if (!StreamBioMethod) {
      StreamBioMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qb-stream");
      if (StreamBioMethod) {
        BIO_meth_set_write(StreamBioMethod, TlsBio::Write);
        BIO_meth_set_read(StreamBioMethod, TlsBio::Read);
        BIO_meth_set_ctrl(StreamBioMethod, TlsBio::Control);
        BIO_meth_set_create(StreamBioMethod, TlsBio::Create);
      }
    }
    context = SharedContext;
    method = StreamBioMethod;
  }
  if (!context || !method) return nullptr;
  SSL* ssl = SSL_new(context.get());
  if (!ssl) return nullptr;
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(inner), ssl, timeoutMs));
  BIO* bio = BIO_new(method);
  if (!bio) return nullptr;
  BIO_set_data(bio, stream.get());
  SSL_set_bio(ssl, bio, bio);  // the SSL owns the BIO from here
  if (IsAddressLiteral(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set1_host(ssl, host.c_str());
  }
  if (resume) {
    SSL_SESSION* copy = SSL_SESSION_dup(resume);
    if (copy) {
      SSL_set_session(ssl, copy);
      SSL_SESSION_free(copy);  // the SSL holds its own reference
    }
  }
  SSL_set_connect_state(ssl);
  return stream;
}

int TlsStream::Handshake(int waitMs, const std::atomic<bool>* abort) {
  if (shaken_) return 1;
  if (closed_) return -1;
  Arm(waitMs, abort);
  timedOut_ = false;
  ERR_clear_error();
  const int done = SSL_do_handshake(ssl_);
  if (done == 1) {
    LearnPeer();
    return 1;
  }
  const int error = SSL_get_error(ssl_, done);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ && timedOut_) return 0;
  closed_ = true;
  return -1;
}

std::unique_ptr<TlsStream> TlsStream::Connect(std::unique_ptr<ByteStream> inner,
                                              const std::string& host, int timeoutMs,
                                              Clock::time_point deadline,
                                              const std::atomic<bool>* abort, SSL_SESSION* resume) {
  std::unique_ptr<TlsStream> stream = Begin(std::move(inner), host, timeoutMs, resume);
  if (!stream) return nullptr;
  // One wait that runs out ends the handshake: a server that goes silent in
  // the middle of one will not finish it.
  int wait = timeoutMs;
  if (deadline != Clock::time_point::max()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return nullptr;
    if (wait <= 0 || left < wait) wait = static_cast<int>(left > INT_MAX ? INT_MAX : left);
  }
  if (stream->Handshake(wait, abort) != 1) return nullptr;
  return stream;
}

void TlsStream::LearnPeer() {
  shaken_ = true;
  peer_.protocol = SSL_get_version(ssl_);
  if (X509* cert = SSL_get0_peer_certificate(ssl_)) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) == 1)
      peer_.sha256 = HexPairs(digest, length);
    const long verdict = SSL_get_verify_result(ssl_);
    peer_.verified = verdict == X509_V_OK;
    if (!peer_.verified) peer_.problem = X509_verify_cert_error_string(verdict);
  } else {
    peer_.problem = "no certificate";
  }
}

bool TlsStream::SendAll(const char* data, std::size_t length) {
  while (length > 0 && !closed_) {
    const int chunk = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    // Writing may finish a handshake, which reads; those waits are bounded too.
    Arm(timeoutMs_, nullptr);
    ERR_clear_error();
    const int n = SSL_write(ssl_, data, chunk);
    if (n <= 0) {
      ERR_clear_error();
      return false;
    }
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return length == 0;
}

ssize_t TlsStream::ReceiveSome(char* into, std::size_t room, int waitMs,
                               const std::atomic<bool>* abort) {
  if (closed_) return 0;
  Arm(waitMs, abort);
  timedOut_ = false;
  ERR_clear_error();
  const int n = SSL_read(ssl_, into, room > INT_MAX ? INT_MAX : static_cast<int>(room));
  if (!shaken_ && SSL_is_init_finished(ssl_)) LearnPeer();
  if (n > 0) return n;
  const int error = SSL_get_error(ssl_, n);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return timedOut_ ? -1 : Again;
  // close_notify, a closed or broken connection, a record that does not
  // decrypt: the stream has ended either way.
  closed_ = true;
  return 0;
}

SSL_SESSION* TlsStream::Session() const { return SSL_get1_session(ssl_); }

bool TlsStream::Resumed() const { return SSL_session_reused(ssl_) == 1; }

void TlsStream::Close() {
  // Also once the server has said it is done: the answer ends the session
  // cleanly on both sides.
  if (shutDown_ || !shaken_) return;
  shutDown_ = true;
  closed_ = true;
  Arm(1, nullptr);
  ERR_clear_error();
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

}  // namespace qb
