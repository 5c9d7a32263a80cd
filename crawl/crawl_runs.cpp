#include "crawl/crawl_runs.h"

#include <algorithm>

#include "core/settings.h"
#include "net/ftp_url.h"

namespace qb {

CrawlLimits CrawlLimitsFromSettings() {
  CrawlLimits limits;
  limits.depth = Settings.CrawlDepth;
  limits.folders = Settings.CrawlFolders;
  limits.entries = Settings.CrawlEntries;
  limits.seconds = Settings.CrawlMinutes * 60;
  limits.sessions = Settings.CrawlSessions;
  limits.pauseMs = Settings.CrawlPause;
  return limits;
}

double CrawlRun::Rate() const {
  std::lock_guard<std::mutex> hold(lock_);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const int64_t from = listedAtStart_ < 0 ? 0 : listedAtStart_;
  const int64_t listed = progress.listed - from;
  return seconds > 0 && listed > 0 ? static_cast<double>(listed) / seconds : 0.0;
}

std::string CrawlRun::Text() const {
  if (running)
    return std::string(progress.paused ? "crawl paused: " : "crawling: ") + CrawlCounts(progress);
  std::lock_guard<std::mutex> hold(lock_);
  return outcome_.text;
}

CrawlOutcome CrawlRun::Outcome() const {
  std::lock_guard<std::mutex> hold(lock_);
  return outcome_;
}

CrawlRuns::CrawlRuns(CrawlStore& store, std::function<void(const std::shared_ptr<CrawlRun>&)> ended)
    : store_(store), ended_(std::move(ended)) {}

CrawlRuns::~CrawlRuns() {
  StopAll();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> hold(lock_);
    threads.swap(threads_);
  }
  for (std::thread& t : threads) t.join();
}

std::shared_ptr<CrawlRun> CrawlRuns::Start(const std::string& url, const CrawlLimits& limits) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const auto& run : runs_)
    if (run->running && run->url == url) return run;
  auto run = std::make_shared<CrawlRun>();
  run->url = url;
  runs_.push_back(run);
  pending_.push_back({run, limits, ServerKey(url.c_str())});
  // A thread for each crawl up to the bound; the others wait their turn and
  // are taken by a thread whose crawl has ended, or one waiting for its server.
  const int bound = std::max(1, static_cast<int>(Settings.MinConnect));
  if (busyThreads_ < bound) {
    ++busyThreads_;
    threads_.emplace_back([this] { Work(); });
  }
  changed_.notify_all();
  return run;
}

void CrawlRuns::Work() {
  for (;;) {
    Pending next;
    bool holdsServer = false;
    {
      std::unique_lock<std::mutex> hold(lock_);
      // One crawl of a server at a time, so that the crawl's session bound is
      // the server's: the folders of one server in the table often come from
      // one search. A stopped crawl needs no session.
      const auto takable = [this] {
        return std::find_if(pending_.begin(), pending_.end(), [this](const Pending& p) {
          return p.run->progress.stop || !crawledServers_.contains(p.server);
        });
      };
      changed_.wait(hold, [&] { return pending_.empty() || takable() != pending_.end(); });
      if (pending_.empty()) {
        --busyThreads_;
        return;
      }
      const auto taken = takable();
      next = std::move(*taken);
      pending_.erase(taken);
      holdsServer = !next.run->progress.stop;
      if (holdsServer) crawledServers_.insert(next.server);
    }
    const std::shared_ptr<CrawlRun>& run = next.run;
    CrawlOutcome outcome;
    if (run->progress.stop) {
      outcome.stopped = true;
      outcome.text = "crawl stopped";
    } else {
      {
        std::lock_guard<std::mutex> begun(run->lock_);
        run->started = std::chrono::steady_clock::now();
      }
      outcome =
          CrawlSite(run->url, store_, next.limits, run->progress, [&run](const ListedFolder&) {
            std::lock_guard<std::mutex> first(run->lock_);
            if (run->listedAtStart_ < 0) run->listedAtStart_ = run->progress.listed;
          });
    }
    {
      std::lock_guard<std::mutex> keep(run->lock_);
      run->outcome_ = std::move(outcome);
    }
    run->running = false;
    if (ended_) ended_(run);
    std::lock_guard<std::mutex> done(lock_);
    if (holdsServer) crawledServers_.erase(next.server);
    changed_.notify_all();
  }
}

std::vector<std::shared_ptr<CrawlRun>> CrawlRuns::Runs() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::shared_ptr<CrawlRun>> runs = runs_;
  std::stable_partition(runs.begin(), runs.end(), [](const auto& r) { return r->running.load(); });
  return runs;
}

int CrawlRuns::Running() const {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(
      std::count_if(runs_.begin(), runs_.end(), [](const auto& r) { return r->running.load(); }));
}

bool CrawlRuns::WaitIdle(std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, bound, [this] {
    return std::none_of(runs_.begin(), runs_.end(),
                        [](const auto& r) { return r->running.load(); });
  });
}

void CrawlRuns::Stop(const std::shared_ptr<CrawlRun>& run) {
  std::lock_guard<std::mutex> hold(lock_);
  run->progress.stop = true;
  changed_.notify_all();
}

void CrawlRuns::StopAll() {
  std::lock_guard<std::mutex> hold(lock_);
  for (const auto& run : runs_) run->progress.stop = true;
  changed_.notify_all();  // crawls waiting for their server end now
}

}  // namespace qb
