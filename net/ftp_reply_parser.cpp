#include "net/ftp_reply_parser.h"

#include <algorithm>

namespace qb {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a line that starts like a reply line, or 0.
int CodeOf(std::string_view line) {
  if (line.size() < 3 || line[0] < '1' || line[0] > '9' || !IsDigit(line[1]) || !IsDigit(line[2]))
    return 0;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace

void FtpReplyParser::Feed(std::string_view bytes) {
  if (broken_) return;
  // Consumed bytes are dropped before new ones are kept, so what is held stays
  // within one unfinished line and what has just arrived.
  if (start_ > 0) {
    pending_.erase(0, start_);
    scanned_ = scanned_ > start_ ? scanned_ - start_ : 0;
    start_ = 0;
  }
  pending_.append(bytes);
}

void FtpReplyParser::Append(std::string_view line) {
  constexpr std::size_t Room = ReplyTextSize - 1;
  if (current_.text.size() >= Room) return;
  current_.text.append(line);
  current_.text.append("\r\n");
  if (current_.text.size() > Room) current_.text.resize(Room);
}

std::optional<FtpReply> FtpReplyParser::Next() {
  while (!broken_) {
    // A line arriving in many small pieces is searched once, not once per piece.
    const std::size_t end = pending_.find('\n', std::max(start_, scanned_));
    if (end == std::string::npos) {
      scanned_ = pending_.size();
      // A held CR is the line's end arriving, not one of its bytes: a line's
      // length must not depend on where a segment happens to end.
      const bool endComing = !pending_.empty() && pending_.back() == '\r';
      if (pending_.size() - start_ > ReplyLineMax + (endComing ? 1 : 0)) broken_ = true;
      return std::nullopt;
    }
    std::string_view line(pending_.data() + start_, end - start_);
    start_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    replyBytes_ += line.size() + 2;
    if (replyBytes_ > ReplyBytesMax || line.size() > ReplyLineMax) {
      broken_ = true;
      return std::nullopt;
    }
    const int code = CodeOf(line);
    const bool final = code != 0 && (line.size() == 3 || line[3] == ' ');
    if (blockCode_ == 0) {
      if (code != 0 && !final && line[3] == '-') {
        blockCode_ = code;
      } else if (!final) {
        // Not a reply line and outside a block: noise, never part of a reply.
        continue;
      }
    } else if (!(final && code == blockCode_)) {
      Append(line);
      continue;
    }
    Append(line);
    if (!final || (blockCode_ != 0 && code != blockCode_)) continue;
    FtpReply done = std::move(current_);
    done.code = code;
    done.line.assign(line.substr(0, ReplyLineSize - 1));
    current_ = FtpReply{};
    blockCode_ = 0;
    replyBytes_ = 0;
    return done;
  }
  return std::nullopt;
}

}  // namespace qb
