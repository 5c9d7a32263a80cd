#include "net/explore_site.h"

#include <algorithm>
#include <chrono>
#include <climits>
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
#include "net/ftp_session.h"
#include "net/ftp_url.h"
#include "net/listing_parser.h"
#include "net/mlsd_parser.h"
#include "net/server_replies.h"
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

// Sizes past 2 GiB compare as 2 GiB - 1, so that among files that large the
// download test still takes the first listed, as it always has.
int64_t ComparedSize(int64_t size) { return std::min<int64_t>(size, INT32_MAX); }

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
  void SetResult(const std::string& text) {
    CopyText(attempt_.result, sizeof attempt_.result, text.c_str());
  }
  bool Command(const std::string& line, char kind, FtpReply& reply);
  // Lists the current folder into listing_ (terminated), at most ListingCapacity bytes.
  void List();
  // One listing command's transfer; false when the server refused it.
  bool ListOnce(const char* command);
  // The download test; false when the attempt fails.
  bool TestDownload(const std::string& file, int64_t size, bool& refused);
  // Nothing when the server refused passive mode and the test is to be made
  // in active mode instead.
  std::optional<bool> TestDownloadPassive(const std::string& file, int64_t size, bool& refused);
  bool Verdict(bool& refused);
  void NoteTls();

  SiteEntry& entry_;
  SiteAttempt& attempt_;
  std::optional<FtpSession> session_;
  bool trustedByUser_ = false;
  bool dataFailed_ = false;
  bool noReply_ = false;  // a listing command went unanswered
  std::unique_ptr<char[]> listing_;
  std::size_t listingSize_ = 0;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

bool Dialogue::Command(const std::string& line, char kind, FtpReply& reply) {
  const bool done = session_->Command(line, kind, reply);
  SetResult(session_->Result());
  return done;
}

bool Dialogue::ListOnce(const char* command) {
  // Only the terminator is needed: everything read is bounded by listingSize_.
  listing_[0] = '\0';
  listingSize_ = 0;
  FtpListing got = session_->ListBy(command, ListingCapacity);
  if (got.outcome == FtpListing::Outcome::NoData) dataFailed_ = true;
  // No answer is no verdict on the folder: the site is tried again later.
  if (got.outcome == FtpListing::Outcome::NoReply) {
    noReply_ = true;
    return false;
  }
  if (got.outcome == FtpListing::Outcome::Refused) return got.reply.Kind() != '5';
  got.text.copy(listing_.get(), got.text.size());
  listingSize_ = got.text.size();
  listing_[listingSize_] = '\0';
  if (got.cut) entry_.listingCut = true;
  return true;
}

void Dialogue::List() {
  listing_ = std::make_unique_for_overwrite<char[]>(ListingCapacity + 1);
  // MLSD names are whole and its facts exact; LIST where it is not offered or
  // the server turns it down.
  if (session_->OffersMlsd()) {
    attempt_.mlsd = ListOnce("MLSD");
    if (attempt_.mlsd || dataFailed_ || noReply_) return;
  }
  ListOnce("LIST -a");
  if (!dataFailed_ && !noReply_ && LooksLikeDosListing(listing_.get())) {
    // Asks for a Unix style listing, once.
    FtpReply reply;
    session_->Control().Command("SITE DIRSTYLE", reply);
    ListOnce("LIST -a");
  }
}

bool Dialogue::Verdict(bool& refused) {
  std::optional<FtpReply> reply = session_->Control().Read();
  if (!reply) {
    SetResult("NoReply");
    return false;
  }
  refused = reply->Kind() == '5' || reply->code == 450;
  if (refused) {
    SetResult(reply->line);
    attempt_.retry = false;
  }
  return true;
}

std::optional<bool> Dialogue::TestDownloadPassive(const std::string& file, int64_t size,
                                                  bool& refused) {
  FtpReply reply;
  // Binary, so that the restart offset counts the listed bytes.
  session_->Control().Command("TYPE I", reply);
  FtpTransfer transfer;
  if (!session_->OpenData(TestReceiveBuffer, transfer)) {
    SetResult("getdatasocket");
    return false;
  }
  if (!session_->Passive()) return std::nullopt;
  entry_.testedFile.Set(file);
  // Restarted at the last byte, a readable file costs one byte and a refusal
  // comes as it would for the whole file.
  bool restarted = false;
  if (size > 1) {
    session_->Control().Command("REST " + std::to_string(size - 1), reply);
    restarted = reply.Kind() == '3';
  }
  std::optional<FtpReply> answer = session_->StartTransfer(transfer, "RETR " + file);
  FtpSession::EndData(transfer);
  if (!answer) {
    SetResult("NoReply");
    return false;
  }
  // 554 is the restart offset refused: the server got past its permission check.
  refused = (answer->Kind() == '5' && !(restarted && answer->code == 554)) || answer->code == 450;
  if (refused) {
    SetResult(answer->line);
    attempt_.retry = false;
  }
  return true;
}

bool Dialogue::TestDownload(const std::string& file, int64_t size, bool& refused) {
  if (session_->Passive()) {
    if (const std::optional<bool> done = TestDownloadPassive(file, size, refused)) return *done;
  }
  UniqueFd listener(OpenActiveData(session_->Control()));
  if (!listener.valid()) {
    SetResult("getdatasocket");
    return false;
  }
  entry_.testedFile.Set(file);
  if (!session_->Control().Send("RETR " + file)) {
    SetResult("NoReply");
    return false;
  }
  // Closed before the server connects: it answers whether it would send the
  // file, and nothing is transferred.
  listener.reset();
  return Verdict(refused);
}

void Dialogue::NoteTls() {
  if (!session_->Secured()) return;
  const TlsPeer& peer = session_->Peer();
  entry_.certificate.Set(peer.sha256);
  entry_.tls = peer.verified || trustedByUser_ ? SiteTls::Verified : SiteTls::Unverified;
}

std::optional<std::string> Dialogue::Run(const char* url) {
  attempt_.success = false;
  attempt_.mlsd = false;
  attempt_.connectionLimit.reset();
  entry_.testedFile.Clear();
  entry_.listingCut = false;
  entry_.tls = SiteTls::None;
  entry_.certificate.Clear();
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);

  FtpSessionOptions options;
  options.timeoutMs = TimeoutMs();
  if (options.timeoutMs > 0)
    options.deadline = started_ + std::chrono::milliseconds(options.timeoutMs) * AttemptTimeOuts;
  options.abort = &entry_.dropped;
  options.tls = Settings.Tls;
  options.dataMode = Settings.DataMode;
  options.publishSocket = [this](int fd) {
    attempt_.controlFd = fd;
    entry_.AttachSocket(fd);
  };
  // An anonymous login risks nothing on a certificate nobody vouches for; a
  // password goes only to a server the system or the user trusts.
  options.acceptPeer = [this, &parts](const TlsPeer& peer) {
    if (CertificateAcceptable(parts, peer, trustedByUser_)) return true;
    entry_.certificate.Set(peer.sha256);
    return false;
  };
  session_.emplace(std::move(options));
  FtpSession& session = *session_;
  std::string loginText;
  const bool open = session.Open(parts, loginText);
  if (!loginText.empty()) entry_.loginReply.Set(loginText);
  NoteTls();
  SetResult(session.Result());
  if (!open) {
    attempt_.connectionLimit = ConnectionLimitIn(session.Refusal().code, session.Refusal().text);
    // Another attempt meets the same server and the same certificate.
    if (session.Result().starts_with("TLS:")) attempt_.retry = false;
    return std::nullopt;
  }
  FtpReply reply;
  if (!Command("TYPE A", '2', reply)) return std::nullopt;
  if (!Command(std::string("CWD ") + parts.path, '2', reply)) {
    if (reply.code == 550) attempt_.retry = false;  // no such folder
    return std::nullopt;
  }

  List();
  if (dataFailed_ || noReply_) {
    SetResult(dataFailed_ ? "getdatasocket" : "NoReply");
    return std::nullopt;
  }
  std::string_view listing(listing_.get(), listingSize_);
  const ListingScan scan =
      attempt_.mlsd ? ScanEntries(ReadMlsdListing(listing)) : ScanListing(listing);
  if (!scan.anyName) {
    SetResult("No files");
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
    SetResult("!delete");
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
  ListingLine parsed;  // one for all lines: it is large
  ForEachCompleteLine(listing, [&](const char* line) {
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
    } else if (ComparedSize(parsed.size) > ComparedSize(scan.largestSize)) {
      scan.largestSize = parsed.size;
      scan.largestName = parsed.name;
    }
  });
  return scan;
}

ListingScan ScanEntries(const std::vector<ListingEntry>& entries) {
  ListingScan scan;
  for (const ListingEntry& e : entries) {
    scan.anyName = true;
    const std::string name = ServerNameOf(e);
    if (e.isFolder) {
      if (scan.folders++ == 0) scan.firstFolder = name;
    } else if (ComparedSize(e.size) > ComparedSize(scan.largestSize)) {
      scan.largestSize = e.size;
      scan.largestName = name;
    }
  }
  return scan;
}

}  // namespace qb
