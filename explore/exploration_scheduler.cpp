#include "explore/exploration_scheduler.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/controls.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_view.h"
#include "explore/site_worker.h"
#include "net/ftp_url.h"

namespace qb {

std::atomic<int32_t> ActiveSessions{0};
std::atomic<int32_t> FinishedWorkers{0};
std::atomic<bool> ExplorationPaused{false};
std::atomic<int32_t> ExplorationLimit{0};

namespace {

constexpr auto TickInterval = std::chrono::milliseconds(100);
std::atomic<uint64_t> runGeneration{0};
std::atomic<int32_t> liveSchedulers{0};

std::mutex launcherLock;
WorkerLauncher customLauncher;
ThreadStarter customStarter;

// One start at a time: a run's number is published only once its thread exists,
// so a start that gets no thread leaves the running one in charge.
std::mutex startLock;
// Thread creation fails for want of memory or under the thread limit, which
// ending workers may lift a moment later.
constexpr std::chrono::milliseconds StartRetryPauses[] = {std::chrono::milliseconds(20),
                                                          std::chrono::milliseconds(80)};

// Keeps an outgoing run from writing the display once a newer run owns it.
std::mutex displayLock;
// Kept across runs: it mirrors the progress bar, which a new run does not reset.
int shownPercent = 0;

void LaunchWorker(std::shared_ptr<SiteEntry> entry) {
  WorkerLauncher launcher;
  {
    std::lock_guard<std::mutex> hold(launcherLock);
    launcher = customLauncher;
  }
  if (launcher) {
    launcher(std::move(entry));
    return;
  }
  std::thread(SiteWorker, std::move(entry)).detach();
}

void StartThread(std::function<void()> body) {
  ThreadStarter starter;
  {
    std::lock_guard<std::mutex> hold(launcherLock);
    starter = customStarter;
  }
  if (starter) {
    starter(std::move(body));
    return;
  }
  std::thread(std::move(body)).detach();
}

// Shows or takes back the note on the sites still waiting.
void NoteWaitingSites(bool noThread) {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  for (int i = 0; i < SiteTable.count; ++i) {
    SiteEntry& e = *SiteTable.slots[i];
    if (e.status != Waiting || e.dropped) continue;
    if (noThread)
      e.statusText.Set(NoThreadNote);
    else if (e.statusText.Get() == NoThreadNote)
      e.statusText.Clear();
  }
}

// Wakes the ticks early when a worker ends, for the fast start. Never
// destroyed: a worker may still wake it while the process exits.
std::mutex& wakeLock = *new std::mutex;
std::condition_variable& wake = *new std::condition_variable;
bool woken = false;  // guarded by wakeLock

void WaitForTick() {
  std::unique_lock<std::mutex> hold(wakeLock);
  if (Settings.FastStart) {
    wake.wait_for(hold, TickInterval, [] { return woken; });
  } else {
    hold.unlock();
    std::this_thread::sleep_for(TickInterval);
    hold.lock();
  }
  woken = false;
}

void RunScheduler(uint64_t generation) {
  // The starter publishes the run's number right after the thread exists.
  while (runGeneration < generation) std::this_thread::yield();
  ExplorationScheduler run(generation);
  while (SiteTable.count != 0 && run.Current()) {
    WaitForTick();
    if (!run.Tick()) break;
  }
  run.End();
  --liveSchedulers;
}

}  // namespace

ExplorationScheduler::ExplorationScheduler(uint64_t run) : generation_(run) {}

void WakeScheduler() {
  {
    std::lock_guard<std::mutex> hold(wakeLock);
    woken = true;
  }
  wake.notify_all();
}

uint64_t CurrentExplorationRun() { return runGeneration; }

bool ExplorationScheduler::Current() const { return runGeneration == generation_; }

bool ExplorationScheduler::Tick() {
  int waiting = 0;
  int exploring = 0;
  {
    std::lock_guard<std::mutex> hold(SiteTableLock);
    if (!Current()) return false;
    const int n = SiteTable.count;
    if (!ExplorationPaused) {
      if (Settings.FastStart) {
        // Every free slot at once; sessions counted as soon as their worker
        // is started, before it connects.
        int busy = 0;
        for (int i = 0; i < n; ++i) busy += SiteTable.slots[i]->status == Exploring ? 1 : 0;
        while (busy < ExplorationLimit && StartOne(n)) ++busy;
      } else if (ActiveSessions < ExplorationLimit) {
        StartOne(n);
      }
    }
    for (int i = 0; i < n; ++i) {
      const SiteEntry& e = *SiteTable.slots[i];
      if (e.dropped) continue;
      const int32_t status = e.status;
      if (status == Waiting)
        ++waiting;
      else if (status == Exploring)
        ++exploring;
    }
  }
  return Show(waiting, exploring);
}

void ExplorationScheduler::End() {
  std::lock_guard<std::mutex> hold(displayLock);
  if (!Current()) return;
  if (auto view = GetExplorationView()) view->StopAnimation();
}

bool ExplorationScheduler::StartOne(int count) {
  std::vector<std::string> busy;  // servers with a session
  for (int i = 0; i < count; ++i) {
    if (SiteTable.slots[i]->status == Exploring) busy.push_back(ServerKey(SiteTable.slots[i]->url));
  }
  for (int i = 0; i < count; ++i) {
    const std::shared_ptr<SiteEntry>& e = SiteTable.slots[i];
    if (e->status != Waiting || e->dropped) continue;
    if (std::find(busy.begin(), busy.end(), ServerKey(e->url)) != busy.end()) continue;
    e->status = Exploring;
    try {
      LaunchWorker(e);
    } catch (const std::system_error&) {
      e->status = Waiting;  // no thread to be had now; a later tick tries again
      return false;
    }
    return true;
  }
  return false;
}

bool ExplorationScheduler::Show(int waiting, int exploring) {
  auto view = GetExplorationView();
  std::lock_guard<std::mutex> hold(displayLock);
  if (!Current()) return false;
  const int sessions = ActiveSessions;
  if (sessions != shownSessions_) {
    shownSessions_ = sessions;
    if (view) view->SetNumber(IdSessions, sessions);
  }
  const int finished = FinishedWorkers;
  if (finished != shownFinished_) {
    shownFinished_ = finished;
    if (view) view->SetNumber(IdFinished, finished);
  }
  const int percent = ExplorationPercent(finished, waiting, exploring);
  if (percent != shownPercent) {
    shownPercent = percent;
    if (view) {
      view->SetProgress(percent);
      view->SetNumber(IdPercent, percent);
    }
  }
  if (waiting != shownWaiting_) {
    if (view) {
      view->SetNumber(IdWaiting, waiting);
      if (shownWaiting_ == 0)
        view->PlayAnimation();
      else if (waiting == 0)
        view->StopAnimation();
    }
    shownWaiting_ = waiting;
  }
  return true;
}

int ExplorationPercent(int finished, int waiting, int exploring) {
  const double all = static_cast<double>(finished) + waiting + exploring;
  if (all <= 0) return 0;
  const double percent = finished * 100.0 / all;
  if (percent <= 0) return 0;
  if (percent >= 100) return 100;
  return static_cast<int>(percent);
}

bool StartExplorationScheduler() {
  std::lock_guard<std::mutex> serial(startLock);
  const uint64_t generation = runGeneration + 1;
  ++liveSchedulers;
  for (std::size_t attempt = 0;; ++attempt) {
    try {
      StartThread([generation] { RunScheduler(generation); });
      break;
    } catch (const std::system_error&) {
      if (attempt == std::size(StartRetryPauses)) {
        --liveSchedulers;
        if (liveSchedulers == 0) NoteWaitingSites(true);
        return false;
      }
      std::this_thread::sleep_for(StartRetryPauses[attempt]);
    }
  }
  ExplorationPaused = false;
  ActiveSessions = 0;
  FinishedWorkers = 0;
  ExplorationLimit = Settings.MinConnect.load();
  NoteWaitingSites(false);
  // A newer run ends the older one at its next tick, so a table refilled before
  // the old thread saw it empty is never scheduled twice.
  runGeneration = generation;
  return true;
}

void SetWorkerLauncher(WorkerLauncher launcher) {
  std::lock_guard<std::mutex> hold(launcherLock);
  customLauncher = std::move(launcher);
}

void SetSchedulerThreadStarter(ThreadStarter starter) {
  std::lock_guard<std::mutex> hold(launcherLock);
  customStarter = std::move(starter);
}

int32_t LiveSchedulers() { return liveSchedulers; }

}  // namespace qb
