#include "net/ftp_control.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <string>

#include "net/socket_stream.h"

namespace qb {

int TimeoutMillis(int32_t seconds) {
  if (seconds <= 0) return 0;
  const int64_t ms = int64_t{seconds} * 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

FtpControl::FtpControl(std::unique_ptr<ByteStream> stream, int timeoutMs,
                       const std::atomic<bool>* abort)
    : stream_(std::move(stream)), timeoutMs_(timeoutMs), abort_(abort) {}

FtpControl::FtpControl(int fd, int timeoutMs, const std::atomic<bool>* abort)
    : FtpControl(SocketStream::Borrowing(fd), timeoutMs, abort) {}

bool FtpControl::Send(std::string_view line) {
  // A line break inside would smuggle a second command to the server.
  if (line.find_first_of("\r\n") != std::string_view::npos || !stream_) return false;
  std::string command(line);
  command += "\r\n";
  return stream_->SendAll(command.data(), command.size());
}

std::optional<FtpReply> FtpControl::Read() {
  using Clock = std::chrono::steady_clock;
  constexpr int64_t ReplyTimeOuts = 6;
  const bool bounded = timeoutMs_ > 0;
  const auto deadline =
      std::min(deadline_, Clock::now() + std::chrono::milliseconds(timeoutMs_ * ReplyTimeOuts));
  for (;;) {
    if (std::optional<FtpReply> reply = parser_.Next()) return reply;
    if (parser_.Broken() || closed_ || !stream_) return std::nullopt;
    int wait = timeoutMs_;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      if (left < wait) wait = static_cast<int>(left);
    }
    char bytes[4096];
    const ssize_t n = stream_->ReceiveSome(bytes, sizeof bytes, wait, abort_);
    if (n == ByteStream::Again) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) {
      closed_ = true;
      continue;  // replies that arrived whole before the end still count
    }
    parser_.Feed(std::string_view(bytes, static_cast<std::size_t>(n)));
    // Acknowledged at once: a server that writes "150" and "226" back to back
    // would otherwise hold the second behind the first's delayed ACK (40 ms).
    stream_->AcknowledgeNow();
  }
}

bool FtpControl::Complete(FtpReply& last) {
  for (int preliminary = 0; preliminary <= MaxPreliminary; ++preliminary) {
    std::optional<FtpReply> reply = Read();
    if (!reply) return false;
    last = std::move(*reply);
    if (!last.Preliminary()) return true;
  }
  return false;
}

std::unique_ptr<ByteStream> FtpControl::TakeStream() {
  if (parser_.Holding() || parser_.Broken() || closed_) return nullptr;
  return std::move(stream_);
}

bool FtpControl::Command(std::string_view line, FtpReply& last) {
  last = FtpReply{};
  return Send(line) && Complete(last);
}

}  // namespace qb
