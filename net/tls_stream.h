#pragma once
// TLS over any ByteStream, as an FTP client speaks it: the control connection
// after AUTH TLS (or from the start, implicitly), and each data connection
// resuming the control connection's TLS session, which servers may require.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "net/byte_stream.h"

using SSL = struct ssl_st;
using SSL_SESSION = struct ssl_session_st;

namespace qb {

// What the handshake learnt of the server's certificate.
struct TlsPeer {
  bool verified = false;  // a trusted authority vouches for it and it names the host
  std::string sha256;     // "AB:CD:..." of the certificate, empty without one
  std::string problem;    // why it is not verified, in the verifier's words
  std::string protocol;   // "TLSv1.3", ...
};

class TlsStream final : public ByteStream {
 public:
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Shakes hands over inner as the client for host (a name or an address
  // literal, checked against the certificate), resuming resume when given.
  // Each wait for bytes takes at most timeoutMs, the whole handshake ends by
  // deadline or when *abort is set. Null when the handshake fails.
  static std::unique_ptr<TlsStream> Connect(std::unique_ptr<ByteStream> inner,
                                            const std::string& host, int timeoutMs,
                                            std::chrono::steady_clock::time_point deadline,
                                            const std::atomic<bool>* abort,
                                            SSL_SESSION* resume = nullptr);

  // The handshake begun but not waited for, for a data connection whose
  // server may reply on the control connection before or after it.
  static std::unique_ptr<TlsStream> Begin(std::unique_ptr<ByteStream> inner,
                                          const std::string& host, int timeoutMs,
                                          SSL_SESSION* resume);
  // One go at the handshake, waiting at most waitMs for the server: 1 once
  // done, 0 while it goes on, -1 when it failed. Reads finish it on their own.
  int Handshake(int waitMs, const std::atomic<bool>* abort);
  bool Shaken() const { return shaken_; }

  bool SendAll(const char* data, std::size_t length) override;
  ssize_t ReceiveSome(char* into, std::size_t room, int waitMs,
                      const std::atomic<bool>* abort) override;
  void AcknowledgeNow() override { inner_->AcknowledgeNow(); }
  int Fd() const override { return inner_->Fd(); }
  int Disown() override { return inner_->Disown(); }

  const TlsPeer& Peer() const { return peer_; }
  // The session to resume on data connections; the caller frees it with
  // SSL_SESSION_free. Asked after a reply has been read, so that a ticket
  // sent after the handshake (TLS 1.3) has arrived.
  SSL_SESSION* Session() const;
  bool Resumed() const;
  // Tells the server this side is done, without waiting for its answer.
  void Close();

 private:
  TlsStream(std::unique_ptr<ByteStream> inner, SSL* ssl, int timeoutMs);
  void LearnPeer();
  // Sets what the next call into the TLS library may wait, all its reads together.
  void Arm(int waitMs, const std::atomic<bool>* abort);
  friend struct TlsBio;

  std::unique_ptr<ByteStream> inner_;
  SSL* ssl_;
  TlsPeer peer_;
  // What the current read may wait: set for the duration of each call into
  // the TLS library, whose reads come back through the stream's BIO.
  int waitMs_ = 0;
  std::chrono::steady_clock::time_point until_;
  const std::atomic<bool>* abort_ = nullptr;
  int timeoutMs_;
  bool timedOut_ = false;
  bool closed_ = false;
  bool shaken_ = false;
  bool shutDown_ = false;
};

// Certificates signed by the authorities in this PEM file are trusted too,
// as those of the system store are; for a private test authority. Empty: the
// system store only.
void SetExtraTrustFile(const std::string& path);

}  // namespace qb
