#include "net/ftp_session.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include <openssl/ssl.h>

#include "core/settings.h"
#include "core/text_helpers.h"
#include "core/trusted_certificates.h"
#include "net/data_connection.h"
#include "net/resolver.h"
#include "net/server_replies.h"
#include "net/socket_stream.h"
#include "net/socket_util.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

struct SessionFree {
  void operator()(SSL_SESSION* session) const { SSL_SESSION_free(session); }
};

std::string Upper(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) out += AsciiUpper(c);
  return out;
}

// A file transfer reads in pieces of this size: few calls a megabyte.
constexpr std::size_t RetrieveChunk = std::size_t{256} * 1024;

}  // namespace

FtpSession::FtpSession(FtpSessionOptions options) : options_(std::move(options)) {
  passive_ = options_.dataMode != FtpDataMode::Active;
}

FtpSession::~FtpSession() = default;

int FtpSession::WaitMs() const {
  int wait = options_.timeoutMs;
  if (options_.deadline != Clock::time_point::max()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(options_.deadline - Clock::now())
            .count();
    if (left <= 0) return 1;
    if (wait <= 0 || left < wait) wait = static_cast<int>(left > INT_MAX ? INT_MAX : left);
  }
  return wait;
}

bool FtpSession::Connect(const FtpUrlParts& parts) {
  implicit_ = parts.implicitTls;
  host_ = parts.host;
  const int32_t port = parts.port;
  const std::vector<SocketAddress> addresses =
      ResolveAddresses(parts.host, static_cast<uint16_t>(port > 0 && port < 65536 ? port : 0));
  if (addresses.empty()) {
    result_ = "host";
    return false;
  }
  // A port outside 1..65535 would silently wrap to another one.
  if (port < 1 || port > 65535) {
    result_ = "connect";
    return false;
  }
  // Each address in turn within the one time-out: the later ones share what
  // the earlier ones left.
  const int timeout = options_.timeoutMs;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  std::unique_ptr<ByteStream> stream;
  bool noSocket = false;
  const std::atomic<bool>* abort = options_.abort;
  for (std::size_t i = 0; i < addresses.size() && !stream && !(abort && *abort) && !noSocket; ++i) {
    int slice = 0;
    if (timeout > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      slice = static_cast<int>(left / static_cast<int64_t>(addresses.size() - i));
      if (slice < 1) slice = 1;
    }
    stream = ConnectStream(addresses[i], slice, abort, 0, &noSocket);
    if (stream) peerAddress_ = addresses[i];
  }
  if (!stream) {
    // Out of descriptors is the machine's trouble, not the site's: a later
    // attempt may find one.
    result_ = noSocket ? "socket" : "connect";
    return false;
  }
  // The send time-out bounds a server that stops reading commands: without
  // it a full send buffer holds the session past every wait and abort.
  if (stream->Fd() >= 0) SetSocketTimeouts(stream->Fd(), timeout);
  if (options_.publishSocket) {
    if (const int fd = stream->Disown(); fd >= 0) options_.publishSocket(fd);
  }
  control_.emplace(std::move(stream), timeout, abort);
  control_->SetDeadline(options_.deadline);
  return !implicit_ || Handshake();
}

bool FtpSession::Greet() {
  FtpReply reply;
  if (control_->Complete(reply) && (reply.Kind() == '4' || reply.Kind() == '5')) {
    result_ = reply.line;
    refusal_ = std::move(reply);
    return false;
  }
  return true;
}

bool FtpSession::Handshake() {
  std::unique_ptr<ByteStream> plain = control_->TakeStream();
  if (!plain) {
    result_ = "TLS: handshake failed";
    return false;
  }
  std::unique_ptr<TlsStream> tls = TlsStream::Connect(std::move(plain), host_, options_.timeoutMs,
                                                      options_.deadline, options_.abort);
  if (!tls) {
    result_ = "TLS: handshake failed";
    return false;
  }
  controlTls_ = tls.get();
  peer_ = tls->Peer();
  secured_ = true;
  if (options_.acceptPeer && !options_.acceptPeer(peer_)) {
    result_ = "TLS: certificate not trusted";
    control_->PutStream(std::move(tls));
    return false;
  }
  control_->PutStream(std::move(tls));
  return true;
}

bool FtpSession::Quietly(const std::string& line, FtpReply& reply) {
  return control_->Command(line, reply);
}

bool FtpSession::Secure() {
  FtpReply reply;
  if (Quietly("FEAT", reply) && reply.Kind() == '2') features_ = Upper(reply.text);
  if (implicit_) {
    // Already secured: the data connections are asked to be too.
  } else {
    const TlsMode mode = options_.tls;
    if (mode == TlsMode::Never) return true;
    const bool offered = Offers("AUTH TLS");
    // A server without FEAT may still know AUTH TLS: only "required" asks it blind.
    if (!offered && mode == TlsMode::WhenOffered) return true;
    if (!Quietly("AUTH TLS", reply) || reply.code != 234) {
      if (mode == TlsMode::WhenOffered && reply.code != 0) return true;
      result_ = "TLS: not offered";
      return false;
    }
    if (!Handshake()) return false;
  }
  // No buffer for protection, and the data connections private too.
  if (!Quietly("PBSZ 0", reply) || reply.Kind() != '2' || !Quietly("PROT P", reply) ||
      reply.Kind() != '2') {
    result_ = "TLS: data protection refused";
    return false;
  }
  return true;
}

bool FtpSession::Login(const FtpUrlParts& parts, std::string& loginText) {
  FtpReply reply;
  const bool complete = control_->Command(std::string("USER ") + parts.user, reply);
  if (reply.code != 0) result_ = reply.line;
  if (!complete || (reply.Kind() != '2' && reply.Kind() != '3')) {
    refusal_ = std::move(reply);
    return false;
  }
  loginText = reply.text;
  if (reply.Kind() != '3') return true;  // logged in without a password
  if (Command(std::string("PASS ") + parts.password, '2', reply)) {
    loginText = reply.text;
    return true;
  }
  refusal_ = reply;
  // A server that is full says so at the password too.
  if (ConnectionLimitIn(reply.code, reply.text)) return false;
  // Some servers refuse the anonymous password yet serve anonymous users.
  return std::strcmp(parts.user, "anonymous") == 0 || result_.compare(0, 3, "503") == 0;
}

void FtpSession::AskUtf8() {
  if (!Offers("UTF8")) return;
  FtpReply reply;
  Quietly("OPTS UTF8 ON", reply);
}

bool FtpSession::Open(const FtpUrlParts& parts, std::string& loginText) {
  if (!Connect(parts) || !Greet() || !Secure()) return false;
  if (!Login(parts, loginText)) return false;
  AskUtf8();
  return true;
}

bool CertificateAcceptable(const FtpUrlParts& parts, const TlsPeer& peer, bool& trustedByUser) {
  trustedByUser =
      !peer.verified && IsTrustedCertificate(CertificateHost(parts.host, parts.port), peer.sha256);
  const bool anonymous =
      std::strcmp(parts.user, "anonymous") == 0 || std::strcmp(parts.user, "ftp") == 0;
  return peer.verified || trustedByUser || anonymous;
}

FtpSessionOptions SessionOptionsFor(const FtpUrlParts& parts, const std::atomic<bool>* abort) {
  FtpSessionOptions options;
  options.timeoutMs = TimeoutMillis(Settings.HttpTimeOut);
  options.abort = abort;
  options.tls = Settings.Tls;
  options.dataMode = Settings.DataMode;
  options.acceptPeer = [parts](const TlsPeer& peer) {
    bool trustedByUser = false;
    return CertificateAcceptable(parts, peer, trustedByUser);
  };
  return options;
}

bool FtpSession::Command(const std::string& line, char kind, FtpReply& reply) {
  const bool complete = control_->Command(line, reply);
  if (reply.code != 0) result_ = reply.line;
  return complete && reply.Kind() == kind;
}

bool FtpSession::Offers(const std::string& feature) const {
  const std::string wanted = Upper(feature);
  // One feature a line, after a space: "211-Features:\r\n MLSD\r\n UTF8\r\n".
  std::size_t at = 0;
  while ((at = features_.find(wanted, at)) != std::string::npos) {
    const bool starts = at > 0 && features_[at - 1] == ' ';
    const std::size_t end = at + wanted.size();
    const bool ends = end >= features_.size() || features_[end] == '\r' || features_[end] == ' ' ||
                      features_[end] == ';';
    if (starts && ends) return true;
    at = end;
  }
  return false;
}

bool FtpSession::OpenData(int receiveBuffer, FtpTransfer& transfer) {
  transfer = FtpTransfer{};
  if (passive_) {
    FtpReply reply;
    switch (OpenPassiveData(*control_, peerAddress_, options_.timeoutMs, options_.abort,
                            receiveBuffer, transfer.data, reply)) {
      case PassiveOutcome::Connected:
        return true;
      case PassiveOutcome::Refused:
        passive_ = false;  // active from then on
        break;
      case PassiveOutcome::Failed:
        return false;
    }
  }
  transfer.listener = OpenActiveData(*control_);
  return transfer.listener.valid();
}

std::unique_ptr<ByteStream> FtpSession::SecureData(std::unique_ptr<ByteStream> data,
                                                   FtpTransfer& transfer) {
  // The control connection's session resumed: servers refuse data
  // connections from anyone who did not take part in it.
  std::unique_ptr<SSL_SESSION, SessionFree> session(controlTls_ ? controlTls_->Session() : nullptr);
  std::unique_ptr<TlsStream> tls =
      TlsStream::Begin(std::move(data), host_, options_.timeoutMs, session.get());
  if (!tls) return nullptr;
  // The hello goes out at once; a server that shakes hands before it replies
  // answers it while the reply is awaited.
  if (tls->Handshake(1, options_.abort) < 0) return nullptr;
  transfer.tls = tls.get();
  return tls;
}

std::optional<FtpReply> FtpSession::StartTransfer(FtpTransfer& transfer,
                                                  const std::string& command) {
  if (!control_->Send(command)) return std::nullopt;
  if (!secured_) {
    std::optional<FtpReply> first = control_->Read();
    if (first && (first->Kind() == '1' || first->Kind() == '2') && transfer.listener.valid()) {
      if (UniqueFd fd = AcceptData(transfer.listener.get(), peerAddress_, WaitMs(), options_.abort);
          fd.valid())
        transfer.data = std::make_unique<SocketStream>(std::move(fd));
    }
    return first;
  }
  // Secured: the server may connect, and shake hands, before or after its
  // reply; both are watched until the reply comes.
  if (transfer.data) transfer.data = SecureData(std::move(transfer.data), transfer);
  const auto until = Clock::now() + std::chrono::milliseconds(WaitMs());
  for (;;) {
    const int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
    if (left <= 0 || (options_.abort && *options_.abort)) return std::nullopt;
    pollfd waits[2] = {{control_->Fd(), POLLIN, 0}, {-1, POLLIN, 0}};
    if (transfer.listener.valid() && !transfer.data) waits[1].fd = transfer.listener.get();
    if (transfer.tls && !transfer.tls->Shaken()) waits[1].fd = transfer.tls->Fd();
    // Streams without sockets (in memory) are read as they are.
    if (waits[0].fd < 0) return control_->Read();
    const int ready = poll(waits, 2, std::min(left, 200));
    if (ready < 0) continue;
    if (waits[0].revents) return control_->Read();
    if (waits[1].revents && waits[1].fd >= 0) {
      if (transfer.listener.valid() && !transfer.data) {
        UniqueFd fd = AcceptData(transfer.listener.get(), peerAddress_, 1, options_.abort);
        if (fd.valid())
          transfer.data = SecureData(std::make_unique<SocketStream>(std::move(fd)), transfer);
      } else if (transfer.tls && transfer.tls->Handshake(1, options_.abort) < 0) {
        transfer.tls = nullptr;
        transfer.data.reset();
      }
    }
  }
}

ByteStream* FtpSession::Data(FtpTransfer& transfer) {
  if (!transfer.data && transfer.listener.valid()) {
    if (UniqueFd fd = AcceptData(transfer.listener.get(), peerAddress_, WaitMs(), options_.abort);
        fd.valid()) {
      transfer.data = std::make_unique<SocketStream>(std::move(fd));
      if (secured_) transfer.data = SecureData(std::move(transfer.data), transfer);
    }
  }
  if (transfer.tls && !DataPeerAccepted(*transfer.tls)) {
    transfer.peerRefused = transfer.tls->Shaken();
    transfer.tls = nullptr;
    transfer.data.reset();
  }
  return transfer.data.get();
}

bool FtpSession::DataPeerAccepted(TlsStream& tls) {
  // The handshake is finished here, within one wait, so the certificate is known
  // before a byte of the data is taken.
  if (tls.Handshake(WaitMs(), options_.abort) != 1) return false;
  // A resumed session, or the control connection's own certificate, was judged
  // at login; another certificate is judged as the login's would be.
  if (tls.Resumed() || tls.Peer().sha256 == peer_.sha256) return true;
  if (options_.acceptPeer && !options_.acceptPeer(tls.Peer())) {
    result_ = "TLS: data connection certificate not trusted";
    return false;
  }
  return true;
}

void FtpSession::EndData(FtpTransfer& transfer) {
  if (transfer.tls && transfer.tls->Shaken()) transfer.tls->Close();
  transfer.tls = nullptr;
  transfer.data.reset();
  transfer.listener.reset();
}

FtpListing FtpSession::ListBy(const std::string& command, std::size_t cap) {
  FtpListing listing;
  FtpTransfer transfer;
  if (!OpenData(0, transfer)) {
    listing.outcome = FtpListing::Outcome::NoData;
    return listing;
  }
  std::optional<FtpReply> first = StartTransfer(transfer, command);
  if (!first) return listing;
  listing.reply = *first;
  // A refusal ("450 No files", "550 ..."): nothing to read.
  if (first->Kind() != '1' && first->Kind() != '2') {
    listing.outcome = FtpListing::Outcome::Refused;
    return listing;
  }
  listing.outcome = FtpListing::Outcome::Listed;
  if (ByteStream* data = Data(transfer)) {
    // The buffer grows with the listing, so a small folder costs little
    // whatever the cap; each growth is one more bounded wait at most.
    constexpr std::size_t FirstRoom = std::size_t{64} * 1024;
    std::size_t held = 0;
    for (std::size_t room = std::min(cap, FirstRoom);; room = std::min(cap, room * 2)) {
      listing.text.resize(room);
      const std::size_t got = ReceiveData(*data, listing.text.data() + held, room - held,
                                          options_.timeoutMs, options_.abort);
      held += got;
      if (held < room || room == cap) break;
    }
    listing.text.resize(held);
  }
  // Bytes from a server not vouched for are no listing of this one.
  if (transfer.peerRefused) listing.outcome = FtpListing::Outcome::NoData;
  const bool atCap = listing.text.size() == cap;
  listing.cut = atCap;
  // Closed before the completion is read: a listing cut at the cap ends the
  // transfer, and the server then says so.
  EndData(transfer);
  if (first->Preliminary()) {
    FtpReply done;
    control_->Complete(done);
    // "426 Transfer aborted" or silence: the folder was not listed whole.
    listing.broken = !atCap && (done.code == 0 || done.Kind() != '2');
    if (listing.broken) listing.cut = true;
    if (done.code != 0) listing.reply = std::move(done);
  }
  if (SaysListingCut(first->text) || SaysListingCut(listing.reply.text)) listing.cut = true;
  // A cut listing may end inside a line: that line is no entry.
  if (listing.cut) listing.text.resize(listing.text.rfind('\n') + 1);
  return listing;
}

bool FtpSession::OffersMlsd() const {
  // A server that lists MLST in FEAT has MLSD too (RFC 3659, 7.8); some list only that.
  return Offers("MLSD") || Offers("MLST");
}

FtpListing FtpSession::List(const std::string& path, std::size_t cap) {
  const std::string argument = path.empty() ? "" : " " + path;
  if (OffersMlsd()) {
    FtpListing listing = ListBy("MLSD" + argument, cap);
    listing.mlsd = true;
    // A server that offers MLSD and refuses it for this folder may still LIST it.
    if (listing.outcome != FtpListing::Outcome::Refused || listing.reply.code == 550)
      return listing;
  }
  if (!path.empty() && !listFlagRefused_) {
    FtpListing listing = ListBy("LIST -a" + argument, cap);
    if (listing.outcome != FtpListing::Outcome::Refused) return listing;
    // Some servers take "-a" for part of the path; those are asked without it
    // from then on.
    FtpListing plain = ListBy("LIST" + argument, cap);
    if (plain.outcome == FtpListing::Outcome::Listed) listFlagRefused_ = true;
    return plain.outcome == FtpListing::Outcome::Listed ? plain : listing;
  }
  return ListBy((path.empty() ? "LIST -a" : "LIST") + argument, cap);
}

bool FtpSession::Retrieve(const std::string& path, int64_t& from,
                          const std::function<bool(const char*, std::size_t)>& sink) {
  FtpReply reply;
  FtpTransfer transfer;
  if (!OpenData(0, transfer)) return false;
  if (from > 0 && !Command("REST " + std::to_string(from), '3', reply)) {
    if (reply.code == 0) return false;
    from = 0;  // the whole file, then: it cannot be continued here
  }
  std::optional<FtpReply> first = StartTransfer(transfer, "RETR " + path);
  if (!first) return false;
  result_ = first->line;
  if (first->Kind() != '1') {
    EndData(transfer);
    return false;
  }
  ByteStream* data = Data(transfer);
  bool whole = data != nullptr;
  std::vector<char> piece(RetrieveChunk);
  while (data) {
    const ssize_t n = data->ReceiveSome(piece.data(), piece.size(), WaitMs(), options_.abort);
    if (n == ByteStream::Again) continue;
    if (n == 0) break;
    if (n < 0 || !sink(piece.data(), static_cast<std::size_t>(n))) {
      whole = false;
      break;
    }
  }
  const bool told = !whole && control_->Send("ABOR");
  EndData(transfer);
  const bool done = control_->Complete(reply);
  if (reply.code != 0) result_ = reply.line;
  if (whole) return done && reply.Kind() == '2';
  // Stopped early: the transfer's own end (426, or 226 when the server had
  // sent it all before the ABOR came) is followed by the ABOR's reply. Both
  // are read, or the next command would take the ABOR's for its own; one that
  // does not come leaves the session out of step, and it goes no further.
  if (!told || !done || !AbortAnswered()) Drop();
  return false;
}

bool FtpSession::AbortAnswered() {
  FtpControl& control = *control_;
  const Clock::time_point deadline = control.Deadline();
  // One wait, not a whole reply's: a server that answers ABOR at once
  // has answered by then.
  if (control.TimeoutMs() > 0)
    control.SetDeadline(
        std::min(deadline, Clock::now() + std::chrono::milliseconds(control.TimeoutMs())));
  FtpReply reply;
  const bool answered = control.Complete(reply);
  control.SetDeadline(deadline);
  return answered;
}

void FtpSession::Drop() {
  controlTls_ = nullptr;
  control_.emplace(std::unique_ptr<ByteStream>(), options_.timeoutMs, options_.abort);
}

void FtpSession::Quit() {
  if (!control_) return;
  FtpReply reply;
  control_->SetDeadline(std::min(options_.deadline, Clock::now() + std::chrono::seconds(1)));
  control_->Command("QUIT", reply);
}

}  // namespace qb
