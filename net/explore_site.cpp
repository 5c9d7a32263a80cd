#include "net/explore_site.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/listing_parser.h"
#include "net/resolver.h"
#include "net/socket_util.h"
#include "net/unique_fd.h"

namespace qb {

namespace {

constexpr std::size_t CommandSize = 6000;
constexpr std::size_t SubFolderUrlSize = 700;

void SetResult(SiteAttempt& attempt, const char* text) {
  CopyText(attempt.result, sizeof attempt.result, text);
}

std::span<char> ResultLine(SiteAttempt& attempt) { return std::span<char>(attempt.result); }

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
  bool Login(const FtpUrlParts& parts);
  // Lists the current folder into listing_ (terminated), at most ListingCapacity bytes.
  void List();
  void ListOnce();
  // The download test; false when the attempt fails.
  bool TestDownload(const std::string& file, bool& refused);

  SiteEntry& entry_;
  SiteAttempt& attempt_;
  int fd_ = -1;
  in_addr server_{};
  std::unique_ptr<char[]> listing_;
  std::size_t listingSize_ = 0;
};

bool Dialogue::Connect(const FtpUrlParts& parts) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) {
    SetResult(attempt_, "socket");
    return false;
  }
  attempt_.controlFd = fd_;
  entry_.AttachSocket(fd_);
  // Set before connect: on Linux the send time-out also bounds connect.
  SetSocketTimeouts(fd_, int64_t{Settings.HttpTimeOut} * 1000);
  const std::vector<in_addr> addresses = ResolveHost(parts.host);
  if (addresses.empty()) {
    SetResult(attempt_, "host");
    return false;
  }
  server_ = addresses.front();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr = server_;
  // A port outside 1..65535 would silently wrap to another one.
  if (parts.port < 1 || parts.port > 65535) {
    SetResult(attempt_, "connect");
    return false;
  }
  to.sin_port = htons(static_cast<uint16_t>(parts.port));
  if (connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    SetResult(attempt_, "connect");
    return false;
  }
  return true;
}

bool Dialogue::Login(const FtpUrlParts& parts) {
  char command[CommandSize];
  char welcome[ReplyTextSize];
  std::snprintf(command, sizeof command, "USER %s\r\n", parts.user);
  if (!SendCommand(fd_, command, "2", "3", ResultLine(attempt_), welcome)) return false;
  entry_.loginReply.Set(welcome);
  if (attempt_.result[0] != '3') return true;  // logged in without a password
  std::snprintf(command, sizeof command, "PASS %s\r\n", parts.password);
  if (SendCommand(fd_, command, "2", nullptr, ResultLine(attempt_), welcome)) {
    entry_.loginReply.Set(welcome);
    return true;
  }
  // Some servers refuse the anonymous password yet serve anonymous users.
  return std::strcmp(parts.user, "anonymous") == 0 || std::strncmp(attempt_.result, "503", 3) == 0;
}

void Dialogue::ListOnce() {
  std::memset(listing_.get(), 0, ListingCapacity + 1);
  listingSize_ = 0;
  const UniqueFd listener(OpenActiveData(fd_));
  SendCommand(fd_, "LIST -a\r\n", "2");
  if (!listener.valid()) return;
  const UniqueFd data(AcceptData(listener.get(), server_, TimeoutMs(), &entry_.dropped));
  if (data.valid())
    listingSize_ =
        ReceiveData(data.get(), listing_.get(), ListingCapacity, TimeoutMs(), &entry_.dropped);
}

void Dialogue::List() {
  listing_ = std::make_unique<char[]>(ListingCapacity + 1);
  ListOnce();
  if (LooksLikeDosListing(listing_.get())) {
    // Asks for a Unix style listing, once.
    SendCommand(fd_, "SITE DIRSTYLE\r\n", "2");
    ListOnce();
  }
}

bool Dialogue::TestDownload(const std::string& file, bool& refused) {
  UniqueFd listener(OpenActiveData(fd_));
  if (!listener.valid()) {
    SetResult(attempt_, "getdatasocket");
    return false;
  }
  entry_.testedFile.Set(file);
  char command[ReplyLineSize];
  std::snprintf(command, sizeof command, "RETR %s\r\n", file.c_str());
  SendWhole(fd_, command, std::strlen(command));
  // Closed before the server connects: it answers whether it would send the
  // file, and nothing is transferred.
  listener.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(FtpTiming.retrWaitMs.load()));
  char reply[ReplyLineSize];
  char line[ReplyLineSize] = {};
  if (!ReadReply(fd_, reply, sizeof reply, line)) {
    SetResult(attempt_, "NoReply");
    return false;
  }
  refused = line[0] == '5' || std::strncmp(line, "450", 3) == 0;
  if (refused) {
    SetResult(attempt_, line);
    attempt_.retry = false;
  }
  return true;
}

std::optional<std::string> Dialogue::Run(const char* url) {
  attempt_.success = false;
  entry_.testedFile.Clear();
  entry_.listingCut = false;
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);
  if (!Connect(parts)) return std::nullopt;

  char greeting[CommandReplySize];
  ReadReply(fd_, greeting, sizeof greeting);
  if (!Login(parts)) return std::nullopt;
  if (!SendCommand(fd_, "TYPE A\r\n", "2", nullptr, ResultLine(attempt_))) return std::nullopt;

  char command[CommandSize];
  std::snprintf(command, sizeof command, "CWD %s\r\n", parts.path);
  if (!SendCommand(fd_, command, "2", nullptr, ResultLine(attempt_))) {
    if (AtoL(attempt_.result) == 550) attempt_.retry = false;  // no such folder
    return std::nullopt;
  }

  List();
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
    if (!TestDownload(scan.largestName, refused)) return std::nullopt;
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
