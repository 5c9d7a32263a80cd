// One exploration attempt against a server whose every reply, and the listing,
// come from the input: segments split at 0xFF, the first being the listing and
// the rest what the control connection delivers, one segment a read (the
// greeting first; an empty segment is a wait that times out). The session runs
// over streams in memory instead of TCP: the first data connection carries the
// listing, later ones nothing.
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

std::vector<std::string_view> controlReads;  // what each read of the control connection gets
std::string_view listingSent;
std::size_t made = 0;  // connections opened
int commands = 0;      // lines sent on the control connection
int dataInUse = 0;     // data connections read from and still open
const std::atomic<bool>* sessionAbort = nullptr;

void CheckWait(int waitMs, const std::atomic<bool>* abort) {
  // Every wait is bounded by the time-out (1 s) and watches the entry's abort flag.
  FUZZ_CHECK(waitMs > 0 && waitMs <= 1000);
  FUZZ_CHECK(abort == sessionAbort);
}

// Moves up to room bytes from the front of from into into; their count.
ssize_t Take(std::string_view& from, char* into, std::size_t room) {
  const std::size_t n = std::min(room, from.size());
  if (n > 0) std::memcpy(into, from.data(), n);  // an empty view's data may be null
  from.remove_prefix(n);
  return static_cast<ssize_t>(n);
}

class ControlStream final : public ByteStream {
 public:
  bool SendAll(const char* data, std::size_t length) override {
    const std::string_view line(data, length);
    // Once TLS is asked for, TLS records (types 20 to 23) may follow; a command
    // never starts with a control byte, so a refused AUTH leaves lines checked.
    const auto type = static_cast<unsigned char>(line.empty() ? 0 : line[0]);
    if (tlsAsked_ && type >= 20 && type <= 23) return true;
    tlsAsked_ = tlsAsked_ || line == "AUTH TLS\r\n";
    FUZZ_CHECK(line.size() > 2 && line.substr(line.size() - 2) == "\r\n");
    FUZZ_CHECK(line.find_first_of("\r\n") == line.size() - 2);  // one command a line
    ++commands;
    return true;
  }

  ssize_t ReceiveSome(char* into, std::size_t room, int waitMs,
                      const std::atomic<bool>* abort) override {
    CheckWait(waitMs, abort);
    FUZZ_CHECK(room > 0);
    // A listing's connection is closed before its completion is read: closing
    // is what ends a transfer cut at the buffer's end.
    FUZZ_CHECK(dataInUse == 0);
    if (next_ == controlReads.size()) return 0;
    std::string_view& piece = controlReads[next_];
    if (piece.empty()) {
      ++next_;
      return -1;
    }
    const ssize_t n = Take(piece, into, room);
    if (piece.empty()) ++next_;
    return n;
  }

 private:
  std::size_t next_ = 0;
  bool tlsAsked_ = false;
};

// A data connection whose peer has written its text and ended its side.
class DataStream final : public ByteStream {
 public:
  explicit DataStream(std::string_view text) : text_(text) {}
  ~DataStream() override { dataInUse -= read_; }

  bool SendAll(const char* /*data*/, std::size_t /*length*/) override {
    FUZZ_CHECK(!"a data connection is only read");
    return false;
  }

  ssize_t ReceiveSome(char* into, std::size_t room, int waitMs,
                      const std::atomic<bool>* abort) override {
    CheckWait(waitMs, abort);
    FUZZ_CHECK(room > 0);
    if (!read_) ++dataInUse;
    read_ = true;
    return Take(text_, into, room);
  }

 private:
  std::string_view text_;
  bool read_ = false;
};

std::unique_ptr<ByteStream> Connect(const SocketAddress& /*address*/) {
  if (made++ == 0) return std::make_unique<ControlStream>();
  return std::make_unique<DataStream>(made == 2 ? listingSent : std::string_view());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = [] {
    SetStreamConnector(Connect);
    return true;
  }();
  (void)once;
  Settings.HttpTimeOut = 1;
  Settings.DataMode = FtpDataMode::Passive;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = std::min(input.find('\xFF'), input.size());
  listingSent = input.substr(0, first);
  controlReads.clear();
  for (std::size_t at = first; at < input.size();) {
    const std::size_t end = std::min(input.find('\xFF', at + 1), input.size());
    controlReads.push_back(input.substr(at + 1, end - at - 1));
    at = end;
  }
  made = 0;
  commands = 0;
  dataInUse = 0;

  ResetSites();
  const std::string url = "ftp://127.0.0.1:2121/pub/";
  auto entry = std::make_shared<SiteEntry>(url);
  sessionAbort = &entry->dropped;
  SiteAttempt attempt;
  const std::optional<std::string> listing = ExploreSite(entry->url, *entry, attempt);
  FUZZ_CHECK(attempt.controlFd == -1);  // no socket was made

  FUZZ_CHECK(dataInUse == 0);  // every data connection closed
  FUZZ_CHECK(made <= 8);       // the control connection and at most a few data ones
  // Login (2), type and folder (2), two listings (3 each) with the style asked
  // between them (1), and the download test (5): each step once.
  FUZZ_CHECK(commands <= 16);
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
