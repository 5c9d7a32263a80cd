// One exploration attempt against a server whose every reply, and the listing,
// come from the input: segments split at 0xFF, the first being the listing and
// the rest the replies in order (the greeting first).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/loopback.h"
#include "fuzz/table_check.h"
#include "net/explore_site.h"
#include "net/ftp_reply_parser.h"
#include "net/socket_util.h"

using namespace qb;

namespace {

void Bound(int fd) { SetSocketTimeouts(fd, 2000); }

void SendListing(const std::string& port, const std::string& listing) {
  unsigned v[6];
  if (std::sscanf(port.c_str(), "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
    return;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never anywhere else, whatever PORT said
  to.sin_port = htons(static_cast<uint16_t>(((v[4] & 255) << 8) | (v[5] & 255)));
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  Bound(fd);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
    send(fd, listing.data(), listing.size(), MSG_NOSIGNAL);
  close(fd);
}

// Answers each command line with the next reply; LIST also delivers the listing.
void Serve(int listener, const std::vector<std::string>& segments) {
  pollfd p{listener, POLLIN, 0};
  if (poll(&p, 1, 2000) != 1) return;
  const int fd = accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  Bound(fd);
  std::size_t next = 1;
  FtpReplyParser stream;
  const auto reply = [&] {
    // Silence would only cost a one-second time-out per step; the hostile
    // server tests cover it.
    static const std::string fallback = "500 no reply scripted\r\n";
    // A preliminary reply is followed by the next one as its completion, as
    // a server does; the client would otherwise wait out its time-out.
    for (;;) {
      const std::string& r =
          next < segments.size() && !segments[next].empty() ? segments[next] : fallback;
      ++next;
      if (send(fd, r.data(), r.size(), MSG_NOSIGNAL) < 0) return false;
      // Bytes that complete no reply would leave the client waiting out its
      // time-out: the server ends its side instead, which reads the same. The
      // stream is read as the client reads it, leftovers of earlier bytes and all.
      stream.Feed(r);
      std::optional<FtpReply> last;
      while (std::optional<FtpReply> reply = stream.Next()) last = std::move(reply);
      if (!last || (last->Preliminary() && next >= segments.size())) {
        shutdown(fd, SHUT_WR);
        return false;
      }
      if (!last->Preliminary()) return true;
    }
  };
  std::string pending, port;
  bool open = reply();
  char buf[2048];
  while (open) {
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    if (line.rfind("PORT ", 0) == 0) port = line.substr(5);
    open = reply();
    if (line.rfind("LIST", 0) == 0) SendListing(port, segments[0]);
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const qbtest::LoopbackListener& listener = qbfuzz::SharedListener();
  static const uint16_t port = listener.Port();
  Settings.HttpTimeOut = 1;
  // The scripted server answers PORT with its listing; passive mode's own
  // replies are the reply target's.
  Settings.DataMode = FtpDataMode::Active;

  std::vector<std::string> segments(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF)
      segments.emplace_back();
    else
      segments.back() += static_cast<char>(data[i]);
  }
  ResetSites();
  const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/pub/";
  auto entry = std::make_shared<SiteEntry>(url);
  SiteAttempt attempt;
  std::thread server(Serve, listener.Fd(), std::cref(segments));
  const std::optional<std::string> listing = ExploreSite(entry->url, *entry, attempt);
  entry->ReleaseSocket(attempt.controlFd);
  server.join();

  FUZZ_CHECK(strnlen(attempt.result, sizeof attempt.result) < sizeof attempt.result);
  FUZZ_CHECK(entry->loginReply.Get().size() < 2000);
  FUZZ_CHECK(entry->testedFile.Get().size() < 450);
  const bool replaced = std::strcmp(attempt.result, "!delete") == 0;
  if (listing) {
    FUZZ_CHECK(listing->size() <= ListingCapacity);
    FUZZ_CHECK(!replaced);
  }
  if (attempt.success) FUZZ_CHECK(listing.has_value());
  // Only the sub-folder rule touches the table, with one entry below the site.
  if (replaced) {
    FUZZ_CHECK(!attempt.retry);
    FUZZ_CHECK(SiteTable.count <= 1);
    if (SiteTable.count == 1)
      FUZZ_CHECK(std::strncmp(SiteTable.slots[0]->url, url.c_str(), url.size()) == 0);
  } else {
    FUZZ_CHECK(SiteTable.count == 0);
  }
  qbfuzz::CheckSiteTable();
  return 0;
}
