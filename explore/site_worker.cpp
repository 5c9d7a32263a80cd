#include "explore/site_worker.h"

#include <algorithm>
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
#include "explore/host_slots.h"
#include "net/explore_site.h"
#include "net/ftp_url.h"
#include "net/listing_parser.h"
#include "net/mlsd_parser.h"
#include "net/name_charset.h"

namespace qb {

std::atomic<int> VerifyTimeUnitMs{1000};
std::atomic<int> LimitPauseUnitMs{1000};

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

// The pause before trying again a server that said it has too many
// sessions: five units, doubled each time, at most five minutes' worth.
void PauseForLimit(const SiteEntry& entry, int waited) {
  using Clock = std::chrono::steady_clock;
  const int64_t unit = LimitPauseUnitMs;
  const int64_t pause = std::min<int64_t>(5 * unit << waited, 300 * unit);
  const auto deadline = Clock::now() + std::chrono::milliseconds(pause);
  constexpr auto Step = std::chrono::milliseconds(20);
  while (!entry.dropped) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    std::this_thread::sleep_for(left < Step ? left : Step);
  }
}

void EndDropped(SiteEntry& entry) {
  entry.status = Failed;
  ++FinishedWorkers;
  WakeScheduler();
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
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);
  const std::string host = parts.host;
  int limitWaits = 0;

  for (int number = 1; number <= Settings.NbRetry; ++number) {
    if (entry->dropped) return EndDropped(*entry);
    if (!SessionsPerHost.Take(host, entry->dropped)) return EndDropped(*entry);
    ++ActiveSessions;
    listing = ExploreSite(url, *entry, attempt);
    --ActiveSessions;
    SessionsPerHost.Give(host);
    attempted = true;
    entry->ReleaseSocket(attempt.controlFd);
    attempt.controlFd = -1;
    if (std::strcmp(attempt.result, "!delete") == 0) entry->dropped = true;
    if (entry->dropped) return EndDropped(*entry);
    if (attempt.connectionLimit && limitWaits < LimitWaitsMax) {
      // Not the site's failure: the server is busy with our other sessions.
      const int bound = SessionsPerHost.Lower(host, *attempt.connectionLimit);
      const int allowed = *attempt.connectionLimit > 0 ? *attempt.connectionLimit : bound;
      entry->allowedConnections = allowed;
      entry->statusText.Set("Waiting: server allows " + std::to_string(allowed) + " connections");
      PauseForLimit(*entry, limitWaits++);
      --number;
      continue;
    }
    if (listing || !attempt.retry) break;
    // Also after the last attempt: the site stays Exploring for this time.
    PauseUnlessDropped(*entry);
  }
  if (entry->dropped) return EndDropped(*entry);

  entry->allowedConnections = 0;
  char text[160];
  CopyText(text, sizeof text, attempt.success ? "ok" : (attempted ? attempt.result : ""));
  if (char* cr = std::strchr(text, '\r')) *cr = '\0';
  entry->statusText.Set(text);
  const int32_t status = attempt.success ? Ok : (listing ? Refused : Failed);

  std::vector<ListingEntry> nodes;
  if (listing) {
    nodes = attempt.mlsd ? ReadMlsdListing(*listing) : BuildListing(*listing);
    ConvertNames(nodes, entry->charset.Get());
  }
  std::function<void(SiteOutcome)> stored;
  {
    std::lock_guard<std::mutex> hold(StoredHookLock);
    stored = StoredHook;
  }
  if (stored) {
    stored(SiteOutcome{url, status, text, entry->testedFile.Get(),
                       static_cast<int64_t>(std::time(nullptr)), std::string(), nodes,
                       listing.has_value()});
  }
  if (listing) {
    std::lock_guard<std::mutex> hold(ListingLock);
    entry->listing = std::move(nodes);
  }
  // Settled only once its listing is in place: a reader that waits for the
  // status must find the entries with it.
  entry->status = status;
  ++FinishedWorkers;
  WakeScheduler();
}

}  // namespace qb
