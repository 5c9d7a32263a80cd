#include "core/site_table.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "core/text_helpers.h"

namespace qb {

SiteTableData SiteTable;
std::mutex SiteTableLock;
std::mutex ListingLock;

namespace {
std::mutex hookLock;
std::function<void()> clearHook;

std::string LowerCopy(const std::string& text) {
  std::string out = text.substr(0, SiteUrlSize - 1);
  for (char& c : out) c = AsciiLower(c);
  return out;
}
}  // namespace

SiteEntry::SiteEntry(const std::string& text) {
  CopyText(url, sizeof url, text.c_str());
  urlLower = LowerCopy(url);
}

void SiteEntry::AttachSocket(int fd) {
  std::lock_guard<std::mutex> hold(socketLock_);
  controlSocket = fd;
  if (dropped) {
    shutdown(fd, SHUT_RDWR);
    controlSocket = -1;
  }
}

void SiteEntry::ReleaseSocket(int fd) {
  std::lock_guard<std::mutex> hold(socketLock_);
  if (fd >= 0) close(fd);
  controlSocket = -1;
}

void SiteEntry::AbortSession() {
  std::lock_guard<std::mutex> hold(socketLock_);
  dropped = true;
  int fd = controlSocket.exchange(-1);
  // shutdown, not close: on Linux only shutdown wakes a thread blocked in recv,
  // and the descriptor stays the session's to close.
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void AddUniqueSite(std::string& url, bool& added, bool containedMatch) {
  AddUniqueSite(url, added, containedMatch, nullptr);
}

void AddUniqueSite(std::string& url, bool& added, bool containedMatch,
                   const std::function<bool()>& wanted) {
  added = false;
  if (url.empty()) return;
  std::lock_guard<std::mutex> hold(SiteTableLock);
  if (wanted && !wanted()) return;
  if (url.back() != '/') url += '/';
  const std::string probe = LowerCopy(url);
  const int n = SiteTable.count;
  for (int i = 0; i < n; ++i) {
    const std::string& known = SiteTable.slots[i]->urlLower;
    const bool duplicate = containedMatch ? probe.find(known) != std::string::npos : probe == known;
    if (duplicate) return;
  }
  if (n >= SiteCapacity) return;
  SiteTable.slots[n] = std::make_shared<SiteEntry>(url);
  SiteTable.count = n + 1;
  added = true;
}

void FreeSiteEntry(int slot) {
  if (slot < 0 || slot >= SiteCapacity) return;
  SiteTable.slots[slot].reset();
}

void ClearSites() {
  // Workers of an earlier exploration may still hold these entries; their results
  // would go nowhere, so their sessions are ended as on a reset.
  ResetSites();
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> hold(hookLock);
    hook = clearHook;
  }
  if (hook) hook();
}

void ResetSites() {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  const int n = SiteTable.count;
  for (int i = 0; i < n; ++i) {
    // Every entry is marked: a worker that pauses between attempts holds no
    // socket but must still stop.
    SiteTable.slots[i]->AbortSession();
    FreeSiteEntry(i);
  }
  SiteTable.count = 0;
}

void SetClearSitesHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hold(hookLock);
  clearHook = std::move(hook);
}

std::shared_ptr<SiteEntry> SiteAt(int slot) {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  if (slot < 0 || slot >= SiteTable.count) return nullptr;
  return SiteTable.slots[slot];
}

}  // namespace qb
