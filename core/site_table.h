#pragma once
// The process-wide table of FTP directories found by the search and explored by the workers.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/locked_text.h"

namespace qb {

inline constexpr int SiteCapacity = 2000;
inline constexpr std::size_t SiteUrlSize = 450;  // 449 characters and the terminator

enum SiteStatus : int32_t {
  Waiting = 0,
  Ok = 1,
  Failed = 2,
  Exploring = 3,
  Refused = 4,
};

// How a site's last session was secured.
enum class SiteTls : uint8_t {
  None,        // plain FTP
  Verified,    // TLS, certificate trusted by the system store or by the user
  Unverified,  // TLS, certificate not verified (accepted for an anonymous login)
};

struct ListingEntry {
  char name[60] = {};
  char date[24] = {};
  int64_t size = 0;
  uint8_t isFolder = 0;  // also the icon index in the file list
  uint8_t isLink = 0;    // a link, shown as a folder but never followed by a crawl
  // The name as the server sent it, when that differs from name (another
  // charset); commands for this entry use these bytes.
  std::string serverName;
};

// The bytes that name the entry in commands to its server.
inline std::string ServerNameOf(const ListingEntry& e) {
  return e.serverName.empty() ? std::string(e.name, strnlen(e.name, sizeof e.name)) : e.serverName;
}

struct SiteEntry {
  explicit SiteEntry(const std::string& text);
  SiteEntry(const SiteEntry&) = delete;
  SiteEntry& operator=(const SiteEntry&) = delete;

  char url[SiteUrlSize] = {};         // fixed once the entry is published
  std::string urlLower;               // lower-cased url, for the duplicate rules
  std::vector<ListingEntry> listing;  // guarded by ListingLock
  std::atomic<bool> dropped{false};
  std::atomic<int32_t> status{Waiting};
  LockedText<160> statusText;
  LockedText<2000> loginReply;
  LockedText<450> testedFile;
  std::atomic<int> controlSocket{-1};
  // The listing filled its buffer: what came after was not read.
  std::atomic<bool> listingCut{false};
  std::atomic<SiteTls> tls{SiteTls::None};
  // SHA-256 of the server's certificate, "AB:CD:...", when its session used TLS.
  LockedText<100> certificate;
  // Set while the server limits connections and the site waits for a slot;
  // the number it allows.
  std::atomic<int32_t> allowedConnections{0};
  // The charset (iconv name) its names are read in when they are not UTF-8;
  // empty: detected from the names.
  LockedText<16> charset;

  // A session publishes its control socket so that another thread can abort it.
  // If the entry was dropped already, the socket is shut down at once.
  void AttachSocket(int fd);
  // The owner closes its socket here; ordered against AbortSession so that a
  // closed (and possibly reused) descriptor is never shut down.
  void ReleaseSocket(int fd);
  // Marks the entry dropped and wakes its session's blocking calls.
  void AbortSession();

 private:
  std::mutex socketLock_;
};

struct SiteTableData {
  std::shared_ptr<SiteEntry> slots[SiteCapacity];  // guarded by SiteTableLock
  std::atomic<int32_t> count{0};                   // written under SiteTableLock
};

extern SiteTableData SiteTable;
// Lock order: SiteTableLock before ListingLock. No window call while holding SiteTableLock.
extern std::mutex SiteTableLock;
extern std::mutex ListingLock;

// Appends "/" to url when missing (the caller sees it), then adds it unless a
// duplicate exists: with containedMatch, any entry whose lower-cased URL occurs
// in the new one; without, an entry equal to it ignoring case. A full table
// refuses the URL. added tells whether a new entry was appended.
void AddUniqueSite(std::string& url, bool& added, bool containedMatch);
// The same, only while wanted() holds; it is asked under the table's lock, so
// nothing that empties the table afterwards can miss the new entry.
void AddUniqueSite(std::string& url, bool& added, bool containedMatch,
                   const std::function<bool()>& wanted);

// Empties the table and then the main window's site list (through the hook).
void ClearSites();
// Empties the table before a new search; running sessions are aborted and their
// entries marked dropped, which their workers keep alive until they end.
void ResetSites();
// Releases the table's hold on one entry; the caller holds SiteTableLock.
void FreeSiteEntry(int slot);

// The main window registers how ClearSites empties its site list.
void SetClearSitesHook(std::function<void()> hook);

// A copy of the entry in a slot, or null; takes SiteTableLock.
std::shared_ptr<SiteEntry> SiteAt(int slot);

}  // namespace qb
