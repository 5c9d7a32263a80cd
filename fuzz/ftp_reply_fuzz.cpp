// ReadReply's line scan and SendCommand's copies on whatever a server sends.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/settings.h"
#include "fuzz/fuzz_check.h"
#include "net/ftp_channel.h"

using namespace qb;

namespace {

constexpr char Sentinel = '#';

// Writes the reply into one end of a socket pair and ends its sending side, so
// the reader sees the whole text and then the end of the reply without waiting,
// while a command sent the other way is still taken.
int Feed(const uint8_t* data, std::size_t size, int& server) {
  int fds[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0);
  int room = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(fds[0], data + sent, size - sent, MSG_NOSIGNAL);
    FUZZ_CHECK(n > 0);
    sent += static_cast<std::size_t>(n);
  }
  shutdown(fds[0], SHUT_WR);
  server = fds[0];
  return fds[1];
}

bool IsFinal(const char* line) {
  return line[0] >= '1' && line[0] <= '9' && line[1] && line[2] && line[3] == ' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FtpTiming.settleMs = 1;
  Settings.HttpTimeOut = 1;
  qbfuzz::Picker pick(data, size);
  const uint8_t mode = pick.Byte();
  // Small buffers reach the room rule quickly; the session's own sizes are among them.
  static const std::size_t bufferSizes[] = {9, 10, 16, 64, 500, 6000};
  const std::size_t bufferSize = bufferSizes[mode % 6];
  const std::size_t lineSize = 1 + pick.Byte() % ReplyLineSize;

  int server = -1;
  const int fd = Feed(pick.data(), pick.size(), server);
  if (mode & 0x80) {
    // SendCommand: the command goes into the closed peer; the reply is what was fed.
    std::vector<char> line(lineSize, Sentinel);
    std::vector<char> text(ReplyTextSize, Sentinel);
    const bool ok = SendCommand(fd, "NOOP\r\n", "2", (mode & 0x40) ? "3" : nullptr, line, text);
    if (ok) FUZZ_CHECK(strnlen(text.data(), text.size()) < ReplyTextSize);
    if (ok && lineSize > 1) FUZZ_CHECK(line[0] == '2' || line[0] == '3');
  } else {
    char* buf = static_cast<char*>(std::malloc(bufferSize));
    std::vector<char> line(lineSize, Sentinel);
    const char* last = ReadReply(fd, buf, bufferSize, line);
    // The collected text always stays terminated inside the buffer.
    FUZZ_CHECK(strnlen(buf, bufferSize) < bufferSize);
    if (last) {
      FUZZ_CHECK(last >= buf && last < buf + bufferSize);
      FUZZ_CHECK(IsFinal(last));
      const char* end = std::strstr(last, "\r\n");
      FUZZ_CHECK(end != nullptr);
      // The output holds that line, cut to its size.
      const std::size_t length = static_cast<std::size_t>(end - last);
      const std::size_t kept = length < lineSize - 1 ? length : lineSize - 1;
      FUZZ_CHECK(strnlen(line.data(), lineSize) == kept);
      FUZZ_CHECK(std::memcmp(line.data(), last, kept) == 0);
    } else {
      for (char c : line) FUZZ_CHECK(c == Sentinel);  // untouched without a final line
    }
    std::free(buf);
  }
  close(fd);
  close(server);
  return 0;
}
