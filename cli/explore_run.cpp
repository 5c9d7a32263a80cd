#include "cli/explore_run.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "explore/site_worker.h"

namespace qb {
namespace {

// Never destroyed: a detached worker may still be leaving it while the
// process exits.
struct DoneSignal {
  std::mutex lock;
  std::condition_variable changed;
  int workers = 0;
};
DoneSignal& Done() {
  static auto* done = new DoneSignal;
  return *done;
}

bool Settled(const SiteEntry& e) { return e.status != Waiting && e.status != Exploring; }

int CountSettled() {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  int n = 0;
  for (int i = 0; i < SiteTable.count; ++i) {
    if (Settled(*SiteTable.slots[i])) ++n;
  }
  return n;
}

SiteRecord RecordOf(SiteEntry& e) {
  SiteRecord r;
  r.url = e.url;
  r.status = e.status;
  r.statusText = e.statusText.Get();
  r.testedFile = e.testedFile.Get();
  std::lock_guard<std::mutex> hold(ListingLock);
  for (const ListingEntry& l : e.listing) {
    r.entries.push_back({std::string(l.name, strnlen(l.name, sizeof l.name)), l.size,
                         std::string(l.date, strnlen(l.date, sizeof l.date)), l.isFolder != 0});
  }
  return r;
}

}  // namespace

std::vector<SiteRecord> ExploreSites(const std::vector<std::string>& urls,
                                     std::chrono::seconds bound, const ExploreProgress& progress) {
  for (std::string url : urls) {
    bool added = false;
    AddUniqueSite(url, added, true);
  }
  const int total = SiteTable.count;
  // Each worker's end wakes the wait below: no polling of the table.
  SetWorkerLauncher([](std::shared_ptr<SiteEntry> entry) {
    std::thread([entry = std::move(entry)]() mutable {
      SiteWorker(entry);
      entry.reset();
      DoneSignal& done = Done();
      std::lock_guard<std::mutex> hold(done.lock);
      ++done.workers;
      done.changed.notify_all();
    }).detach();
  });
  // Without a scheduler nothing would settle: the sites are reported waiting,
  // with the reason in their status text, instead of after the whole bound.
  const bool started = total > 0 && StartExplorationScheduler();
  const auto deadline =
      std::chrono::steady_clock::now() + (started ? bound : std::chrono::seconds(0));
  int shown = 0;
  DoneSignal& done = Done();
  std::unique_lock<std::mutex> hold(done.lock);
  while (true) {
    const int seen = done.workers;
    hold.unlock();
    const int settled = CountSettled();
    if (progress && settled != shown) progress(settled, total);
    shown = settled;
    hold.lock();
    if (settled >= total) break;
    if (!done.changed.wait_until(hold, deadline, [&] { return done.workers != seen; })) break;
  }
  hold.unlock();

  std::vector<SiteRecord> records;
  for (int i = 0; i < total; ++i) {
    if (std::shared_ptr<SiteEntry> e = SiteAt(i)) records.push_back(RecordOf(*e));
  }
  // Ends the scheduler (an empty table) and aborts sessions past the bound;
  // waits, bounded, for the scheduler thread so nothing runs during exit.
  ResetSites();
  const auto stopBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (LiveSchedulers() > 0 && std::chrono::steady_clock::now() < stopBy) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  SetWorkerLauncher(nullptr);
  return records;
}

}  // namespace qb
