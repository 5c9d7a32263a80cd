#pragma once
// One attempt to explore one FTP directory: log in, change to it, list it over
// a passive or active data connection and test whether its largest file may be
// fetched.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/ftp_reply_parser.h"

namespace qb {

struct SiteEntry;
struct ListingEntry;

inline constexpr std::size_t ListingCapacity = 59488;

struct SiteAttempt {
  // The server's last final reply line or a tag: "socket", "host", "connect",
  // "No files", "getdatasocket", "NoReply", "!delete".
  char result[ReplyLineSize] = {};
  bool retry = true;     // cleared when another attempt cannot help
  bool success = false;  // the listing was read and the download not refused
  int controlFd = -1;    // the attempt's control socket; its owner releases it
  bool mlsd = false;     // the listing is MLSD's, not LIST's
  // The server turned the session away for having too many: the number of
  // connections it allows, 0 when it did not say.
  std::optional<int> connectionLimit;
};

// What an attempt learns from a listing: its complete lines through the filter.
struct ListingScan {
  bool anyName = false;
  int64_t largestSize = 0;  // files of size 0 never count as largest
  std::string largestName;
  std::string firstFolder;
  int folders = 0;  // links count as folders
};
ListingScan ScanListing(std::string_view listing);
// The same for an MLSD listing's entries.
ListingScan ScanEntries(const std::vector<ListingEntry>& entries);

// Runs the dialogue for url. The control socket is published once connected
// (so a reset can abort it; the connection itself watches entry.dropped) and
// left open in attempt.controlFd. Returns the raw
// listing (bytes, NULs included; a listing that filled its buffer is cut after
// its last complete line and marks entry.listingCut), or nothing when the
// attempt failed or the folder was replaced by its only sub-folder.
std::optional<std::string> ExploreSite(const char* url, SiteEntry& entry, SiteAttempt& attempt);

}  // namespace qb
