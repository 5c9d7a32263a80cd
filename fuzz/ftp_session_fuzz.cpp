// One exploration attempt against a server whose every reply, and the listing,
// come from the input: segments split at 0xFF, the first being the listing and
// the rest the replies in order (the greeting first). The session runs over
// socket pairs instead of TCP: the control connection holds every reply from
// the start, the first data connection the listing, later ones nothing.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/table_check.h"
#include "net/explore_site.h"
#include "net/socket_util.h"

using namespace qb;

namespace {

std::vector<std::string> connections;  // what each connection made in order carries
std::size_t made = 0;
std::vector<int> peers;  // kept open, so that the client's commands still go somewhere

// A connection whose peer has written text and ended its side.
UniqueFd Pair(const SocketAddress& /*address*/) {
  const std::string& text = made < connections.size() ? connections[made] : std::string();
  ++made;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return {};
  // The default buffers (about 200 KB) take a usual input whole; only a large
  // one needs room made for it, two system calls saved on every other run.
  if (text.size() > 32768) {
    const int room = static_cast<int>(text.size()) + 4096;
    setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  }
  FUZZ_CHECK(send(ends[1], text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
             static_cast<ssize_t>(text.size()));
  shutdown(ends[1], SHUT_WR);
  peers.push_back(ends[1]);
  return UniqueFd(ends[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = [] {
    SetConnector(Pair);
    return true;
  }();
  (void)once;
  Settings.HttpTimeOut = 1;
  Settings.DataMode = FtpDataMode::Passive;

  // The listing up to the first separator; the replies are the rest, separators dropped.
  const auto* text = reinterpret_cast<const char*>(data);
  const auto* first = static_cast<const char*>(std::memchr(text, 0xFF, size));
  const std::string_view listingSent(text, first ? static_cast<std::size_t>(first - text) : size);
  std::string replies;
  for (const char* at = first; at;) {
    const char* begin = at + 1;
    const std::size_t left = size - static_cast<std::size_t>(begin - text);
    at = static_cast<const char*>(std::memchr(begin, 0xFF, left));
    replies.append(begin, at ? static_cast<std::size_t>(at - begin) : left);
  }
  connections = {replies, std::string(listingSent)};
  made = 0;

  ResetSites();
  const std::string url = "ftp://127.0.0.1:2121/pub/";
  auto entry = std::make_shared<SiteEntry>(url);
  SiteAttempt attempt;
  const std::optional<std::string> listing = ExploreSite(entry->url, *entry, attempt);
  entry->ReleaseSocket(attempt.controlFd);
  for (const int fd : peers) close(fd);
  peers.clear();

  FUZZ_CHECK(made <= 8);  // the control connection and at most a few data ones
  FUZZ_CHECK(strnlen(attempt.result, sizeof attempt.result) < sizeof attempt.result);
  FUZZ_CHECK(entry->loginReply.Get().size() < 2000);
  FUZZ_CHECK(entry->testedFile.Get().size() < 450);
  const bool replaced = std::strcmp(attempt.result, "!delete") == 0;
  if (listing) {
    FUZZ_CHECK(listing->size() <= ListingCapacity);
    FUZZ_CHECK(listing->size() <= listingSent.size());
    FUZZ_CHECK(listingSent.compare(0, listing->size(), *listing) == 0);  // a piece of what came
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
