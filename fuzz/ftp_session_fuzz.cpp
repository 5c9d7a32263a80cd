// One exploration attempt against a server whose every reply, and the listing,
// come from the input: segments split at 0xFF, the first being the listing and
// the rest the replies in order (the greeting first). The session runs over
// streams in memory instead of TCP: the control connection holds every reply
// from the start, the first data connection the listing, later ones nothing.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/table_check.h"
#include "net/explore_site.h"
#include "net/socket_stream.h"

using namespace qb;

namespace {

std::vector<std::string> connections;  // what each connection made in order carries
std::size_t made = 0;
int commands = 0;  // lines the client sent on the control connection

// A connection whose peer has written its text and ended its side.
class ScriptedStream final : public ByteStream {
 public:
  ScriptedStream(std::string_view text, bool control) : text_(text), control_(control) {}

  bool SendAll(const char* data, std::size_t length) override {
    // Only the control connection is written to, one whole command at a time.
    FUZZ_CHECK(control_);
    const std::string_view line(data, length);
    FUZZ_CHECK(line.size() > 2 && line.substr(line.size() - 2) == "\r\n");
    FUZZ_CHECK(line.find_first_of("\r\n") == line.size() - 2);
    ++commands;
    return true;
  }

  ssize_t ReceiveSome(char* into, std::size_t room, int /*waitMs*/,
                      const std::atomic<bool>* abort) override {
    FUZZ_CHECK(room > 0);
    if (abort && *abort) return -1;
    const std::size_t n = std::min(room, text_.size() - at_);
    std::memcpy(into, text_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  bool control_;
};

std::unique_ptr<ByteStream> Scripted(const SocketAddress& /*address*/) {
  static const std::string nothing;
  const std::string& text = made < connections.size() ? connections[made] : nothing;
  return std::make_unique<ScriptedStream>(text, made++ == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = [] {
    SetStreamConnector(Scripted);
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
  commands = 0;

  ResetSites();
  const std::string url = "ftp://127.0.0.1:2121/pub/";
  auto entry = std::make_shared<SiteEntry>(url);
  SiteAttempt attempt;
  const std::optional<std::string> listing = ExploreSite(entry->url, *entry, attempt);
  FUZZ_CHECK(attempt.controlFd == -1);  // no socket was made

  FUZZ_CHECK(made <= 8);  // the control connection and at most a few data ones
  // Login, folder, two listings and the download test, each step once.
  FUZZ_CHECK(commands <= 20);
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
