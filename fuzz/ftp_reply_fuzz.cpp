// The reply parser on whatever a server sends, fed in pieces of any size, and
// the passive-mode replies it hands on.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "net/data_connection.h"
#include "net/ftp_reply_parser.h"

using namespace qb;

namespace {

struct Outcome {
  std::vector<FtpReply> replies;
  bool broken = false;
};

// Feeds text in pieces whose sizes come from the picker (0: all at once).
Outcome Parse(std::string_view text, qbfuzz::Picker* sizes) {
  Outcome out;
  FtpReplyParser parser;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t piece = text.size() - at;
    if (sizes) piece = std::min<std::size_t>(piece, 1 + sizes->Byte() % 64);
    parser.Feed(text.substr(at, piece));
    at += piece;
    while (std::optional<FtpReply> reply = parser.Next()) out.replies.push_back(std::move(*reply));
  }
  out.broken = parser.Broken();
  return out;
}

void CheckReply(const FtpReply& r) {
  FUZZ_CHECK(r.code >= 100 && r.code <= 999);
  FUZZ_CHECK(r.line.size() < ReplyLineSize && r.line.size() >= 3);
  FUZZ_CHECK(r.line[0] - '0' == r.code / 100);
  FUZZ_CHECK(r.line.size() == 3 || r.line[3] == ' ');
  FUZZ_CHECK(r.line.find('\n') == std::string::npos);
  FUZZ_CHECK(r.text.size() < ReplyTextSize);
  FUZZ_CHECK(r.Preliminary() == (r.line[0] == '1'));
  // The text holds the final line unless the text had to be cut.
  if (r.text.size() < ReplyTextSize - 1 && r.line.size() < ReplyLineSize - 1)
    FUZZ_CHECK(r.text.size() >= r.line.size() + 2 &&
               r.text.compare(r.text.size() - r.line.size() - 2, r.line.size(), r.line) == 0);
  if (const std::optional<uint16_t> port = ParsePasvReply(r.line)) FUZZ_CHECK(*port != 0);
  if (const std::optional<uint16_t> port = ParseEpsvReply(r.line)) FUZZ_CHECK(*port != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The first half of the input chooses the piece sizes; all of it is the stream.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qbfuzz::Picker sizes(data, size);
  const Outcome whole = Parse(text, nullptr);
  const Outcome pieces = Parse(text, &sizes);

  for (const FtpReply& r : whole.replies) CheckReply(r);
  // How the bytes arrive never changes what is read from them.
  FUZZ_CHECK(whole.broken == pieces.broken);
  FUZZ_CHECK(whole.replies.size() == pieces.replies.size());
  for (std::size_t i = 0; i < whole.replies.size(); ++i) {
    FUZZ_CHECK(whole.replies[i].code == pieces.replies[i].code);
    FUZZ_CHECK(whole.replies[i].line == pieces.replies[i].line);
    FUZZ_CHECK(whole.replies[i].text == pieces.replies[i].text);
  }
  // Every reply needs a line end of its own.
  std::size_t ends = 0;
  for (const char c : text) ends += c == '\n';
  FUZZ_CHECK(whole.replies.size() <= ends);
  return 0;
}
