#pragma once
// Replies cut from the control connection's byte stream as they arrive, framed
// as RFC 959 frames them: a final line is three digits and a space; "ddd-"
// opens a block that only a final line of the same code closes.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

inline constexpr std::size_t ReplyLineSize = 500;   // reply-line outputs, 499 characters
inline constexpr std::size_t ReplyTextSize = 2000;  // reply-text outputs, 1999 characters
// A line still without its end after this many bytes, or a reply longer than
// ReplyBytesMax, breaks the stream: a server that never ends a reply is cut off.
inline constexpr std::size_t ReplyLineMax = 6000;
inline constexpr std::size_t ReplyBytesMax = 65536;

struct FtpReply {
  int code = 0;      // 100..999
  std::string line;  // the final line without its line end, at most ReplyLineSize - 1 bytes
  std::string text;  // the reply's lines, each ended by "\r\n", at most ReplyTextSize - 1 bytes

  bool Preliminary() const { return code >= 100 && code < 200; }
  // The first digit as a character, as replies are matched ("2", "3"...).
  char Kind() const { return line.empty() ? '\0' : line[0]; }
};

class FtpReplyParser {
 public:
  void Feed(std::string_view bytes);
  // The next reply whose final line has arrived; nothing while it is still
  // coming or once the stream is broken.
  std::optional<FtpReply> Next();
  bool Broken() const { return broken_; }
  // Bytes arrived that belong to no reply yet.
  bool Holding() const { return start_ < pending_.size(); }

 private:
  void Append(std::string_view line);

  std::string pending_;      // bytes not yet taken into a reply
  std::size_t start_ = 0;    // where the next line begins in pending_
  std::size_t scanned_ = 0;  // pending_ up to here holds no line end after start_
  FtpReply current_;         // the reply being collected
  int blockCode_ = 0;        // the open block's code, 0 outside a block
  std::size_t replyBytes_ = 0;
  bool broken_ = false;
};

}  // namespace qb
