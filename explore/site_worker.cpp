#include "explore/site_worker.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "explore/exploration_scheduler.h"
#include "net/explore_site.h"
#include "net/listing_parser.h"

namespace qb {

std::atomic<int> VerifyTimeUnitMs{1000};

namespace {

// The pause between attempts ends early when the entry is dropped, so a reset
// does not leave workers sleeping on abandoned sites.
void PauseUnlessDropped(const SiteEntry& entry) {
  using Clock = std::chrono::steady_clock;
  const auto total = std::chrono::milliseconds(int64_t{Settings.VerifyTimeOut} * VerifyTimeUnitMs);
  const auto deadline = Clock::now() + total;
  constexpr auto Step = std::chrono::milliseconds(20);
  while (!entry.dropped) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    std::this_thread::sleep_for(left < Step ? left : Step);
  }
}

std::mutex StoredHookLock;
std::function<void(SiteOutcome)> StoredHook;

void EndDropped(SiteEntry& entry) {
  entry.status = Failed;
  ++FinishedWorkers;
}

}  // namespace

void SetSiteStoredHook(std::function<void(SiteOutcome)> hook) {
  std::lock_guard<std::mutex> hold(StoredHookLock);
  StoredHook = std::move(hook);
}

void SiteWorker(std::shared_ptr<SiteEntry> entry) {
  char url[SiteUrlSize];
  CopyText(url, sizeof url, entry->url);
  entry->statusText.Clear();
  SiteAttempt attempt;
  std::optional<std::string> listing;
  bool attempted = false;

  for (int number = 1; number <= Settings.NbRetry; ++number) {
    if (entry->dropped) return EndDropped(*entry);
    ++ActiveSessions;
    listing = ExploreSite(url, *entry, attempt);
    --ActiveSessions;
    attempted = true;
    entry->ReleaseSocket(attempt.controlFd);
    attempt.controlFd = -1;
    if (std::strcmp(attempt.result, "!delete") == 0) entry->dropped = true;
    if (entry->dropped) return EndDropped(*entry);
    if (listing || !attempt.retry) break;
    // Also after the last attempt: the site stays Exploring for this time.
    PauseUnlessDropped(*entry);
  }
  if (entry->dropped) return EndDropped(*entry);

  char text[160];
  CopyText(text, sizeof text, attempt.success ? "ok" : (attempted ? attempt.result : ""));
  if (char* cr = std::strchr(text, '\r')) *cr = '\0';
  entry->statusText.Set(text);
  entry->status = attempt.success ? Ok : (listing ? Refused : Failed);

  std::vector<ListingEntry> nodes;
  if (listing) nodes = BuildListing(*listing);
  std::function<void(SiteOutcome)> stored;
  {
    std::lock_guard<std::mutex> hold(StoredHookLock);
    stored = StoredHook;
  }
  if (stored) {
    stored(SiteOutcome{url, entry->status, text, entry->testedFile.Get(),
                       static_cast<int64_t>(std::time(nullptr)), std::string(), nodes,
                       listing.has_value()});
  }
  if (listing) {
    std::lock_guard<std::mutex> hold(ListingLock);
    entry->listing = std::move(nodes);
  }
  ++FinishedWorkers;
}

std::vector<ListingEntry> BuildListing(const std::string& text) {
  std::vector<ListingEntry> nodes;
  ForEachListingPiece(text, [&](const char* line) {
    ListingLine parsed;
    FilterListingLine(line, parsed);
    if (!parsed.name[0]) return;
    ListingEntry node;
    CopyText(node.name, sizeof node.name, parsed.name);
    node.isFolder = parsed.isFolder ? 1 : 0;
    if (!parsed.isFolder) {
      CopyText(node.date, sizeof node.date, parsed.date);
      node.size = parsed.size;
    }
    nodes.push_back(node);
  });
  return nodes;
}

}  // namespace qb
