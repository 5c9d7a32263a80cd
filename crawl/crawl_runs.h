#pragma once
// The crawls of a program run: at most one per site and one per server at a
// time, as many at once as FTP sessions may run, paused, stopped and counted
// from any thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "crawl/site_crawl.h"

namespace qb {

// The bounds the settings give.
CrawlLimits CrawlLimitsFromSettings();

struct CrawlRun {
  std::string url;
  CrawlProgress progress;
  std::atomic<bool> running{true};

  // Folders listed a second, over this run.
  double Rate() const;
  // "crawling: 1,240 folders, 38,112 files" while it runs, then its outcome.
  std::string Text() const;
  CrawlOutcome Outcome() const;

 private:
  friend class CrawlRuns;
  mutable std::mutex lock_;
  CrawlOutcome outcome_;  // guarded by lock_, once running is false
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();  // lock_
  int64_t listedAtStart_ = -1;
};

class CrawlRuns {
 public:
  // store outlives the runs; ended, when set, hears of each run's end on its
  // thread.
  explicit CrawlRuns(CrawlStore& store,
                     std::function<void(const std::shared_ptr<CrawlRun>&)> ended = nullptr);
  // Stops every run and waits for its thread.
  ~CrawlRuns();
  CrawlRuns(const CrawlRuns&) = delete;
  CrawlRuns& operator=(const CrawlRuns&) = delete;

  // A new crawl of url, or the one already running for it.
  std::shared_ptr<CrawlRun> Start(const std::string& url, const CrawlLimits& limits);
  // Every run of this program run, running first, in the order started.
  std::vector<std::shared_ptr<CrawlRun>> Runs() const;
  int Running() const;
  // Waits until no run is running, at most bound; true when none is.
  bool WaitIdle(std::chrono::milliseconds bound) const;
  // Stops run, which ends at once when it still waits its turn.
  void Stop(const std::shared_ptr<CrawlRun>& run);
  void StopAll();

 private:
  struct Pending {
    std::shared_ptr<CrawlRun> run;
    CrawlLimits limits;
    std::string server;  // host and port
  };
  // A crawling thread: takes waiting crawls until none is left.
  void Work();

  CrawlStore& store_;
  std::function<void(const std::shared_ptr<CrawlRun>&)> ended_;
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  std::vector<std::shared_ptr<CrawlRun>> runs_;  // guarded by lock_
  std::vector<std::thread> threads_;             // guarded by lock_
  std::deque<Pending> pending_;                  // guarded by lock_
  int busyThreads_ = 0;                          // guarded by lock_
  std::set<std::string> crawledServers_;         // guarded by lock_: one crawl each
};

}  // namespace qb
