#pragma once
// One FTP session as today's servers expect it: every address tried within one
// time-out, the greeting, FEAT, TLS when offered or required, the login,
// UTF-8 names, and data connections (passive, or active when passive is
// refused) secured as the control connection is. Exploring, crawling and
// downloading all speak through it; each wait is bounded by the time-out, the
// session's deadline and its abort flag.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "net/byte_stream.h"
#include "net/ftp_control.h"
#include "net/ftp_url.h"
#include "net/socket_address.h"
#include "net/tls_stream.h"
#include "net/unique_fd.h"

namespace qb {

struct FtpSessionOptions {
  int timeoutMs = 0;  // each wait for bytes; <= 0 no bound
  // No wait goes past this moment.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  const std::atomic<bool>* abort = nullptr;
  TlsMode tls = TlsMode::WhenOffered;
  FtpDataMode dataMode = FtpDataMode::Passive;
  // Called with the control socket once connected, so that another thread can
  // shut it down; the socket's closing is then the callee's.
  std::function<void(int fd)> publishSocket;
  // Whether a handshake's certificate lets the session go on; without it any
  // certificate does.
  std::function<bool(const TlsPeer&)> acceptPeer;
};

// A data connection being set up for one transfer.
struct FtpTransfer {
  std::unique_ptr<ByteStream> data;  // connected (passive) or accepted (active)
  UniqueFd listener;                 // active mode, until the server connects
  TlsStream* tls = nullptr;          // data, when secured
  bool peerRefused = false;          // its certificate was not one to take
};

// What a listing command brought.
struct FtpListing {
  enum class Outcome {
    Listed,   // read (possibly empty, possibly cut)
    Refused,  // the server said no: 4xx or 5xx (in reply)
    NoData,   // no data connection could be made
    NoReply,  // the server did not answer
  };
  Outcome outcome = Outcome::NoReply;
  std::string text;   // the listing's bytes, NULs included
  bool mlsd = false;  // MLSD's lines, not LIST's
  bool cut = false;   // stopped at the cap, or the server says it cut it: whole lines only
  // The transfer ended without its completion, or with a 4xx/5xx one, before
  // the cap: text is what came until then, not the whole folder.
  bool broken = false;
  FtpReply reply;  // the refusal or the completion
};

class FtpSession {
 public:
  explicit FtpSession(FtpSessionOptions options);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // The server's last final reply line that counts as the outcome, or a tag:
  // "host", "connect", "socket", "TLS: ..." and those the callers set.
  const std::string& Result() const { return result_; }
  void SetResult(std::string text) { result_ = std::move(text); }

  // Each step is false when the session cannot go on; Result says why.
  bool Connect(const FtpUrlParts& parts);
  // A greeting that turns the client away ends the session with the
  // server's words; a silent one is left to the login.
  bool Greet();
  // FEAT, then TLS as the setting and the URL ask; its replies are not outcomes.
  bool Secure();
  // USER and PASS; loginText receives the reply that logged in.
  bool Login(const FtpUrlParts& parts, std::string& loginText);
  // OPTS UTF8 ON where offered.
  void AskUtf8();
  // Connect, Greet, Secure, Login and AskUtf8 in turn; false at the first
  // that fails.
  bool Open(const FtpUrlParts& parts, std::string& loginText);

  // Sends line and waits for its completion, which becomes the result; true
  // for a completion of the given kind.
  bool Command(const std::string& line, char kind, FtpReply& reply);
  // As Command, without touching the result.
  bool Quietly(const std::string& line, FtpReply& reply);
  FtpControl& Control() { return *control_; }

  // A data connection for the next transfer command: passive unless the
  // server refused it once, then active. False when none could be made.
  bool OpenData(int receiveBuffer, FtpTransfer& transfer);
  // Sends the transfer command and waits for its first reply, accepting the
  // server's connection (active) and securing it as the server asks, before
  // or after that reply. Nothing when no reply came.
  std::optional<FtpReply> StartTransfer(FtpTransfer& transfer, const std::string& command);
  // The data connection once StartTransfer's reply was preliminary; null
  // when the server never connected (active).
  ByteStream* Data(FtpTransfer& transfer);
  // Closes the data connection (TLS told first).
  static void EndData(FtpTransfer& transfer);

  // One listing command's transfer, at most cap bytes (the connection is
  // closed at the cap, which ends the transfer).
  FtpListing ListBy(const std::string& command, std::size_t cap);
  // path ("" the current folder) by MLSD where offered, by LIST -a where not
  // or where MLSD is refused; no CWD, so a kept session lists folder after
  // folder at a command each.
  FtpListing List(const std::string& path, std::size_t cap);

  // RETR path, in the type set before, from byte from into sink (bytes,
  // count; false stops the transfer, ABOR sent). A server that refuses the
  // restart sends the whole file: from is 0 then, before the first byte. True
  // when the server confirmed the transfer's end. A stopped transfer leaves
  // the session ready for the next command, or, when the server's replies
  // could not all be read, with no connection left (every command fails).
  bool Retrieve(const std::string& path, int64_t& from,
                const std::function<bool(const char*, std::size_t)>& sink);
  // QUIT, without waiting long for its answer.
  void Quit();

  // The reply that turned the greeting or the login down.
  const FtpReply& Refusal() const { return refusal_; }
  bool Passive() const { return passive_; }
  void SetPassive(bool passive) { passive_ = passive; }
  bool Secured() const { return secured_; }
  const TlsPeer& Peer() const { return peer_; }
  // A FEAT line's keyword ("MLSD", "UTF8", "AUTH TLS"...), case-insensitive.
  bool Offers(const std::string& feature) const;
  bool OffersMlsd() const;
  const SocketAddress& PeerAddress() const { return peerAddress_; }

 private:
  bool Handshake();
  // Reads the reply to an ABOR within one wait; false when none came.
  bool AbortAnswered();
  // Lets go of the control connection: its replies can no longer be matched
  // to commands.
  void Drop();
  std::unique_ptr<ByteStream> SecureData(std::unique_ptr<ByteStream> data, FtpTransfer& transfer);
  // A data connection's handshake finished, and its certificate one the login
  // would take: the control connection's, a resumed session's, or accepted.
  bool DataPeerAccepted(TlsStream& tls);
  int WaitMs() const;

  FtpSessionOptions options_;
  std::optional<FtpControl> control_;
  SocketAddress peerAddress_;
  std::string host_;
  std::string result_;
  FtpReply refusal_;
  std::string features_;  // FEAT's lines, upper-cased
  bool implicit_ = false;
  bool passive_ = true;
  bool secured_ = false;
  bool listFlagRefused_ = false;     // LIST takes no "-a" before a path here
  TlsStream* controlTls_ = nullptr;  // inside control_, when secured
  TlsPeer peer_;
};

// Whether a session to the server of parts goes on with this certificate: one
// the system or the user trusts always, any other only for an anonymous login,
// which has no password to lose. trustedByUser tells which vouched for it.
bool CertificateAcceptable(const FtpUrlParts& parts, const TlsPeer& peer, bool& trustedByUser);

// A session to the server of parts as the settings have it (time-out, TLS,
// data mode), certificates judged by CertificateAcceptable.
FtpSessionOptions SessionOptionsFor(const FtpUrlParts& parts, const std::atomic<bool>* abort);

}  // namespace qb
