// FetchPage's handling of whatever a web server answers, over a real loopback
// connection: status line, header end, body markers and the size bounds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "fuzz/fuzz_check.h"
#include "fuzz/loopback.h"
#include "net/http_fetcher.h"
#include "net/socket_util.h"

using namespace qb;

namespace {

constexpr std::size_t PageRoom = 99488;  // the most a fetch ever receives

// Reads the request, sends the answer in pieces, then waits for the client to
// close, so that nothing unread turns the close into a reset.
void Serve(int listener, const std::string& answer, std::size_t piece) {
  pollfd p{listener, POLLIN, 0};
  if (poll(&p, 1, 5000) != 1) return;
  const int fd = accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  SetSocketTimeouts(fd, 5000);
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  std::string request;
  char buf[1024];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  for (std::size_t at = 0; at < answer.size(); at += piece) {
    const std::size_t n = answer.size() - at < piece ? answer.size() - at : piece;
    if (send(fd, answer.data() + at, n, MSG_NOSIGNAL) <= 0) break;  // client gave up early
  }
  shutdown(fd, SHUT_WR);
  while (recv(fd, buf, sizeof buf, 0) > 0) {
  }
  close(fd);
}

bool KnownTag(const char* tag) {
  static const char* const tags[] = {"ExtractURL", "Invalid_socket", "host_name", "Connect", "Send",
                                     "timeout",    "recv",           "NRead=0",   "NoSpace", "40x",
                                     "NoCRLF"};
  for (const char* t : tags)
    if (tag && std::strcmp(tag, t) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const qbtest::LoopbackListener& listener = qbfuzz::SharedListener();
  static const uint16_t port = listener.Port();
  static const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page";

  qbfuzz::Picker pick(data, size);
  const uint8_t shape = pick.Byte();
  const std::size_t piece = 1 + pick.Byte() * 64;
  // A filler of whole kilobytes, before or after the answer, reaches the page bounds
  // without huge inputs.
  const std::size_t filler = (pick.Byte() % 112) * 1024;
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

  // At most about 64 sends, however small the pieces asked for.
  const std::size_t sendSize = std::max(piece, answer.size() / 64);
  std::thread server(Serve, listener.Fd(), std::cref(answer), sendSize);
  const char* tag = "unset";
  std::unique_ptr<char[]> page = FetchPage(url.c_str(), &tag, 5, stop);
  server.join();

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
  }
  return 0;
}
