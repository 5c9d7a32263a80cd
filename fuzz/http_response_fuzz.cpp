// The HTTP client's handling of whatever a web server answers, read in memory
// through the same reader FetchPage uses on its socket: status line, header
// end, body markers, the size bounds and a server that stops answering.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "net/http_fetcher.h"

using namespace qb;

namespace {

constexpr std::size_t PageRoom = 99488;  // the most a fetch ever receives

bool KnownTag(const char* tag) {
  static const char* const tags[] = {"timeout", "recv", "NRead=0", "NoSpace", "40x", "NoCRLF"};
  for (const char* t : tags)
    if (tag && std::strcmp(tag, t) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qbfuzz::Picker pick(data, size);
  const uint8_t shape = pick.Byte();
  const std::size_t piece = 1 + pick.Byte() * 64;
  // A filler of whole kilobytes, before or after the answer, reaches the page
  // bounds without huge inputs; one input in four has one, so most runs stay small.
  const uint8_t fill = pick.Byte();
  const std::size_t filler = (fill & 3) == 0 ? ((fill >> 2) % 56) * 2048 : 0;
  std::string answer(reinterpret_cast<const char*>(pick.data()), pick.size());
  if (filler) {
    const std::string pad(filler, (shape & 2) ? '\n' : 'x');
    if (shape & 1)
      answer = pad + answer;
    else
      answer += pad;
  }
  const char* stops[] = {nullptr, "</FORM>", "Copyright", ""};
  const char* stop = stops[(shape >> 2) % 4];
  // At most about 64 reads, however small the pieces asked for.
  const std::size_t readSize = std::max(piece, answer.size() / 64);
  // The server closes, lets a read time out, or breaks the connection.
  const int ending = (shape >> 4) % 3;

  std::size_t at = 0;
  std::size_t reads = 0;
  const HttpReader reader = [&](char* into, std::size_t room) -> ssize_t {
    FUZZ_CHECK(room > 0);
    ++reads;
    if (at == answer.size()) {
      if (ending == 0) return 0;
      errno = ending == 1 ? EAGAIN : ECONNRESET;
      return -1;
    }
    const std::size_t n = std::min({readSize, room, answer.size() - at});
    std::memcpy(into, answer.data() + at, n);
    at += n;
    return static_cast<ssize_t>(n);
  };
  const char* tag = "unset";
  std::unique_ptr<char[]> page = ReadHttpResponse(reader, 5, stop, &tag);

  // A read past the end would ask again after being told the page ended.
  FUZZ_CHECK(reads <= answer.size() + 1);
  FUZZ_CHECK(at <= PageRoom);
  if (page) {
    FUZZ_CHECK(tag == nullptr);
    const std::size_t length = std::strlen(page.get());
    FUZZ_CHECK(length < PageRoom);
    // The body is a piece of what was sent, never more.
    FUZZ_CHECK(answer.find(page.get(), 0, length) != std::string::npos);
    // Only a 2xx or 3xx status passes.
    const std::size_t space = answer.find(' ');
    FUZZ_CHECK(space != std::string::npos && space + 1 < answer.size());
    FUZZ_CHECK(answer[space + 1] == '2' || answer[space + 1] == '3');
  } else {
    FUZZ_CHECK(KnownTag(tag));
    // Nothing received and a clean close reads as an empty page, never a time-out.
    if (answer.empty() && ending == 0) FUZZ_CHECK(std::strcmp(tag, "NRead=0") == 0);
  }
  return 0;
}
