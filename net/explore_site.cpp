#include "net/explore_site.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/data_connection.h"
#include "net/ftp_control.h"
#include "net/ftp_url.h"
#include "net/listing_parser.h"
#include "net/resolver.h"
#include "net/socket_stream.h"
#include "net/socket_util.h"
#include "net/unique_fd.h"

namespace qb {

namespace {

constexpr std::size_t SubFolderUrlSize = 700;
// The download test's data connection: the most the server can push before it
// is closed, whatever it does with the restart offset.
constexpr int TestReceiveBuffer = 4096;
// A whole attempt, however its server spreads its replies, takes at most this
// many time-outs of its control connection.
constexpr int AttemptTimeOuts = 10;

void SetResult(SiteAttempt& attempt, const char* text) {
  CopyText(attempt.result, sizeof attempt.result, text);
}

// An MS-DOS style listing starts with a date such as 01-12-99.
bool LooksLikeDosListing(const char* listing) {
  return AtoL(listing) != 0 && listing[0] && listing[1] && listing[2] == '-';
}

class Dialogue {
 public:
  Dialogue(SiteEntry& entry, SiteAttempt& attempt) : entry_(entry), attempt_(attempt) {}

  std::optional<std::string> Run(const char* url);

 private:
  int TimeoutMs() const { return TimeoutMillis(Settings.HttpTimeOut); }
  bool Connect(const FtpUrlParts& parts);
  // Sends line and waits for its completion; the reply seen last becomes the
  // attempt's result line. True for a completion of the given kind.
  bool Command(const std::string& line, char kind, FtpReply& reply);
  bool Login(const FtpUrlParts& parts);
  // Lists the current folder into listing_ (terminated), at most ListingCapacity bytes.
  void List();
  void ListOnce();
  // A passive data connection; on refusal the site is explored in active mode
  // from then on (data stays invalid and passive_ is cleared).
  bool OpenPassive(int receiveBuffer, std::unique_ptr<ByteStream>& data);
  // The download test; false when the attempt fails.
  bool TestDownload(const std::string& file, int32_t size, bool& refused);
  // Nothing when the server refused passive mode and the test is to be made
  // in active mode instead.
  std::optional<bool> TestDownloadPassive(const std::string& file, int32_t size, bool& refused);
  bool Verdict(bool& refused);

  SiteEntry& entry_;
  SiteAttempt& attempt_;
  std::optional<FtpControl> control_;
  SocketAddress peer_;
  bool passive_ = true;
  bool dataFailed_ = false;
  std::unique_ptr<char[]> listing_;
  std::size_t listingSize_ = 0;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

bool Dialogue::Connect(const FtpUrlParts& parts) {
  const int32_t port = parts.port;
  const std::vector<SocketAddress> addresses =
      ResolveAddresses(parts.host, static_cast<uint16_t>(port > 0 && port < 65536 ? port : 0));
  if (addresses.empty()) {
    SetResult(attempt_, "host");
    return false;
  }
  // A port outside 1..65535 would silently wrap to another one.
  if (port < 1 || port > 65535) {
    SetResult(attempt_, "connect");
    return false;
  }
  // Each address in turn within the one time-out: the later ones share what
  // the earlier ones left.
  using Clock = std::chrono::steady_clock;
  const int timeout = TimeoutMs();
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  std::unique_ptr<ByteStream> stream;
  bool noSocket = false;
  for (std::size_t i = 0; i < addresses.size() && !stream && !entry_.dropped && !noSocket; ++i) {
    int slice = 0;
    if (timeout > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      slice = static_cast<int>(left / static_cast<int64_t>(addresses.size() - i));
      if (slice < 1) slice = 1;
    }
    stream = ConnectStream(addresses[i], slice, &entry_.dropped, 0, &noSocket);
    if (stream) peer_ = addresses[i];
  }
  if (!stream) {
    // Out of descriptors is the machine's trouble, not the site's: a later
    // attempt may find one.
    SetResult(attempt_, noSocket ? "socket" : "connect");
    return false;
  }
  if (const int fd = stream->Disown(); fd >= 0) {
    // The send time-out bounds a server that stops reading commands.
    SetSocketTimeouts(fd, int64_t{Settings.HttpTimeOut} * 1000);
    attempt_.controlFd = fd;
    entry_.AttachSocket(fd);
  }
  control_.emplace(std::move(stream), timeout, &entry_.dropped);
  if (timeout > 0)
    control_->SetDeadline(started_ + std::chrono::milliseconds(timeout) * AttemptTimeOuts);
  return true;
}

bool Dialogue::Command(const std::string& line, char kind, FtpReply& reply) {
  const bool complete = control_->Command(line, reply);
  if (reply.code != 0) SetResult(attempt_, reply.line.c_str());
  return complete && reply.Kind() == kind;
}

bool Dialogue::Login(const FtpUrlParts& parts) {
  FtpReply reply;
  const bool complete = control_->Command(std::string("USER ") + parts.user, reply);
  if (reply.code != 0) SetResult(attempt_, reply.line.c_str());
  if (!complete || (reply.Kind() != '2' && reply.Kind() != '3')) return false;
  entry_.loginReply.Set(reply.text);
  if (reply.Kind() != '3') return true;  // logged in without a password
  if (Command(std::string("PASS ") + parts.password, '2', reply)) {
    entry_.loginReply.Set(reply.text);
    return true;
  }
  // Some servers refuse the anonymous password yet serve anonymous users.
  return std::strcmp(parts.user, "anonymous") == 0 || std::strncmp(attempt_.result, "503", 3) == 0;
}

bool Dialogue::OpenPassive(int receiveBuffer, std::unique_ptr<ByteStream>& data) {
  FtpReply reply;
  switch (
      OpenPassiveData(*control_, peer_, TimeoutMs(), &entry_.dropped, receiveBuffer, data, reply)) {
    case PassiveOutcome::Connected:
      return true;
    case PassiveOutcome::Refused:
      passive_ = false;
      return true;
    case PassiveOutcome::Failed:
      break;
  }
  dataFailed_ = true;
  return false;
}

void Dialogue::ListOnce() {
  // Only the terminator is needed: everything read is bounded by listingSize_.
  listing_[0] = '\0';
  listingSize_ = 0;
  std::unique_ptr<ByteStream> data;
  UniqueFd listener;
  if (passive_ && !OpenPassive(0, data)) return;
  if (!passive_) {
    listener = OpenActiveData(*control_);
    if (!listener.valid()) return;
  }
  if (!control_->Send("LIST -a")) return;
  // A refusal ("450 No files", "550 ...") or no answer at all: nothing to read.
  std::optional<FtpReply> first = control_->Read();
  if (!first || (first->Kind() != '1' && first->Kind() != '2')) return;
  if (listener.valid()) {
    if (UniqueFd fd = AcceptData(listener.get(), peer_, TimeoutMs(), &entry_.dropped); fd.valid())
      data = std::make_unique<SocketStream>(std::move(fd));
  }
  if (data)
    listingSize_ =
        ReceiveData(*data, listing_.get(), ListingCapacity, TimeoutMs(), &entry_.dropped);
  listing_[listingSize_] = '\0';
  // Closed before the completion is read: a listing cut at the cap ends the
  // transfer, and the server then says so.
  data.reset();
  if (first->Preliminary()) {
    FtpReply done;
    control_->Complete(done);
  }
}

void Dialogue::List() {
  listing_ = std::make_unique_for_overwrite<char[]>(ListingCapacity + 1);
  ListOnce();
  if (!dataFailed_ && LooksLikeDosListing(listing_.get())) {
    // Asks for a Unix style listing, once.
    FtpReply reply;
    control_->Command("SITE DIRSTYLE", reply);
    ListOnce();
  }
}

bool Dialogue::Verdict(bool& refused) {
  std::optional<FtpReply> reply = control_->Read();
  if (!reply) {
    SetResult(attempt_, "NoReply");
    return false;
  }
  refused = reply->Kind() == '5' || reply->code == 450;
  if (refused) {
    SetResult(attempt_, reply->line.c_str());
    attempt_.retry = false;
  }
  return true;
}

std::optional<bool> Dialogue::TestDownloadPassive(const std::string& file, int32_t size,
                                                  bool& refused) {
  FtpReply reply;
  // Binary, so that the restart offset counts the listed bytes.
  control_->Command("TYPE I", reply);
  std::unique_ptr<ByteStream> data;
  if (!OpenPassive(TestReceiveBuffer, data)) {
    SetResult(attempt_, "getdatasocket");
    return false;
  }
  if (!passive_) return std::nullopt;
  entry_.testedFile.Set(file);
  // Restarted at the last byte, a readable file costs one byte and a refusal
  // comes as it would for the whole file.
  bool restarted = false;
  if (size > 1) {
    control_->Command("REST " + std::to_string(size - 1), reply);
    restarted = reply.Kind() == '3';
  }
  if (!control_->Send("RETR " + file)) {
    SetResult(attempt_, "NoReply");
    return false;
  }
  std::optional<FtpReply> answer = control_->Read();
  data.reset();
  if (!answer) {
    SetResult(attempt_, "NoReply");
    return false;
  }
  // 554 is the restart offset refused: the server got past its permission check.
  refused = (answer->Kind() == '5' && !(restarted && answer->code == 554)) || answer->code == 450;
  if (refused) {
    SetResult(attempt_, answer->line.c_str());
    attempt_.retry = false;
  }
  return true;
}

bool Dialogue::TestDownload(const std::string& file, int32_t size, bool& refused) {
  if (passive_) {
    if (const std::optional<bool> done = TestDownloadPassive(file, size, refused)) return *done;
  }
  UniqueFd listener(OpenActiveData(*control_));
  if (!listener.valid()) {
    SetResult(attempt_, "getdatasocket");
    return false;
  }
  entry_.testedFile.Set(file);
  if (!control_->Send("RETR " + file)) {
    SetResult(attempt_, "NoReply");
    return false;
  }
  // Closed before the server connects: it answers whether it would send the
  // file, and nothing is transferred.
  listener.reset();
  return Verdict(refused);
}

std::optional<std::string> Dialogue::Run(const char* url) {
  attempt_.success = false;
  entry_.testedFile.Clear();
  entry_.listingCut = false;
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);
  passive_ = Settings.DataMode != FtpDataMode::Active;
  if (!Connect(parts)) return std::nullopt;

  // A greeting that turns the client away ("421 Too many users") ends the
  // attempt with the server's words; a silent one is left to the login.
  FtpReply reply;
  if (control_->Complete(reply) && (reply.Kind() == '4' || reply.Kind() == '5')) {
    SetResult(attempt_, reply.line.c_str());
    return std::nullopt;
  }
  if (!Login(parts)) return std::nullopt;
  if (!Command("TYPE A", '2', reply)) return std::nullopt;
  if (!Command(std::string("CWD ") + parts.path, '2', reply)) {
    if (reply.code == 550) attempt_.retry = false;  // no such folder
    return std::nullopt;
  }

  List();
  if (dataFailed_) {
    SetResult(attempt_, "getdatasocket");
    return std::nullopt;
  }
  std::string_view listing(listing_.get(), listingSize_);
  entry_.listingCut = listingSize_ == ListingCapacity;
  // A line broken off at the cap is no entry.
  if (entry_.listingCut) listing = listing.substr(0, listing.find_last_of('\n') + 1);
  const ListingScan scan = ScanListing(listing);
  if (!scan.anyName) {
    SetResult(attempt_, "No files");
    attempt_.retry = false;
    return std::nullopt;
  }

  bool refused = false;
  if (scan.largestSize > 0) {
    if (!TestDownload(scan.largestName, scan.largestSize, refused)) return std::nullopt;
  } else if (scan.folders == 1) {
    // A folder that only leads to another one is replaced by it.
    char subUrl[SubFolderUrlSize];
    std::snprintf(subUrl, sizeof subUrl, "%s%s", url, scan.firstFolder.c_str());
    std::string sub = subUrl;
    bool added = false;
    AddUniqueSite(sub, added, false);
    SetResult(attempt_, "!delete");
    attempt_.retry = false;
    return std::nullopt;
  }
  attempt_.success = !refused;
  return std::string(listing);
}

}  // namespace

std::optional<std::string> ExploreSite(const char* url, SiteEntry& entry, SiteAttempt& attempt) {
  attempt.controlFd = -1;
  Dialogue dialogue(entry, attempt);
  return dialogue.Run(url);
}

ListingScan ScanListing(std::string_view listing) {
  ListingScan scan;
  ForEachCompleteLine(listing, [&](const char* line) {
    ListingLine parsed;
    FilterListingLine(line, parsed);
    if (!parsed.name[0]) return;
    scan.anyName = true;
    if (parsed.isFolder) {
      if (scan.folders++ == 0) {
        scan.firstFolder = parsed.name;
        // A link is entered by its own name, not by "name -> target"; an arrow
        // with nothing before it is part of a name.
        const std::size_t arrow = scan.firstFolder.find(" -> ");
        if (line[0] == 'l' && arrow != std::string::npos && arrow > 0) {
          scan.firstFolder.resize(arrow);
        }
      }
    } else if (parsed.size > scan.largestSize) {
      scan.largestSize = parsed.size;
      scan.largestName = parsed.name;
    }
  });
  return scan;
}

}  // namespace qb
