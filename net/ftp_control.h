#pragma once
// The FTP command channel: commands out, replies in as soon as their final
// line arrives. Every wait is bounded by the time-out and the abort flag.
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

#include "net/byte_stream.h"
#include "net/ftp_reply_parser.h"

namespace qb {

// A time-out setting in seconds as milliseconds for poll, saturated instead of
// overflowing; 0 or less stays "no bound".
int TimeoutMillis(int32_t seconds);

class FtpControl {
 public:
  // Preliminary replies passed over while waiting for a command's completion.
  static constexpr int MaxPreliminary = 8;

  // timeoutMs bounds each wait for bytes (<= 0: no bound); a reply as a whole
  // gets six of them, so a trickling server cannot hold a session forever.
  FtpControl(std::unique_ptr<ByteStream> stream, int timeoutMs,
             const std::atomic<bool>* abort = nullptr);
  // Over a socket that the caller closes.
  FtpControl(int fd, int timeoutMs, const std::atomic<bool>* abort = nullptr);

  // The socket underneath, or -1 when the connection is not one.
  int Fd() const { return stream_ ? stream_->Fd() : -1; }
  // Sends line and its "\r\n" whole.
  bool Send(std::string_view line);
  // The next reply; nothing on time-out, abort, a closed connection or a
  // broken stream.
  std::optional<FtpReply> Read();
  // Reads until a reply that is not preliminary. last receives every reply
  // read, so it keeps the last one seen when no completion comes; true when
  // last is a completion.
  bool Complete(FtpReply& last);
  // Send, then Complete; last is cleared first.
  bool Command(std::string_view line, FtpReply& last);
  // No wait for a reply goes past this moment: a server that keeps every
  // reply inside the time-out, or drips preliminary lines, still ends.
  void SetDeadline(std::chrono::steady_clock::time_point deadline) { deadline_ = deadline; }
  std::chrono::steady_clock::time_point Deadline() const { return deadline_; }
  int TimeoutMs() const { return timeoutMs_; }
  const std::atomic<bool>* Abort() const { return abort_; }

  // The connection, handed out to be wrapped (in TLS) and given back; nothing
  // when bytes past the last reply were read, which would then be taken as
  // coming from inside the wrapping.
  std::unique_ptr<ByteStream> TakeStream();
  void PutStream(std::unique_ptr<ByteStream> stream) { stream_ = std::move(stream); }

 private:
  std::unique_ptr<ByteStream> stream_;
  int timeoutMs_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  const std::atomic<bool>* abort_;
  FtpReplyParser parser_;
  bool closed_ = false;
};

}  // namespace qb
