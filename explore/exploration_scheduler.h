#pragma once
// Starts site workers for the waiting entries of the SiteTable within the
// session bound, and shows the exploration's progress in the main dialog.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace qb {

struct SiteEntry;

extern std::atomic<int32_t> ActiveSessions;    // FTP sessions in progress
extern std::atomic<int32_t> FinishedWorkers;   // workers ended in this run
extern std::atomic<bool> ExplorationPaused;    // no worker is started while set
extern std::atomic<int32_t> ExplorationLimit;  // bound on ActiveSessions

// Starts a new run on its own thread. The thread ends once the table is empty,
// or at its next tick when a newer run has been started. False when no thread
// could be had, after two short retries: a run already going on then carries
// on and takes the new sites; without one, the waiting sites stay waiting and
// show NoThreadNote until a later start succeeds.
bool StartExplorationScheduler();

inline constexpr const char* NoThreadNote = "not explored yet: the system refused a thread";

// A worker has ended: with the fast start, the next tick comes at once.
void WakeScheduler();

// Share of finished work in whole percent, truncated, within 0..100.
int ExplorationPercent(int finished, int waiting, int exploring);

// How a worker is started for an entry; the default runs SiteWorker on a
// detached thread. Tests install a recorder; null restores the default.
using WorkerLauncher = std::function<void(std::shared_ptr<SiteEntry>)>;
void SetWorkerLauncher(WorkerLauncher launcher);

// How the scheduler's thread is started; the default runs body on a detached
// thread and throws std::system_error when none can be created. Tests install
// one that fails; null restores the default.
using ThreadStarter = std::function<void(std::function<void()> body)>;
void SetSchedulerThreadStarter(ThreadStarter starter);

// Number of scheduler threads that have not ended yet.
int32_t LiveSchedulers();

// The number of the run started last.
uint64_t CurrentExplorationRun();

// One run's ticks; StartExplorationScheduler drives one on its own thread.
class ExplorationScheduler {
 public:
  // run: the number of the run it belongs to (CurrentExplorationRun()).
  explicit ExplorationScheduler(uint64_t run);
  bool Current() const;
  // One tick after its sleep: maybe start a worker, recount, show what changed.
  // False once a newer run has taken over.
  bool Tick();
  // Stops the animation, unless a newer run owns the display.
  void End();

 private:
  // Takes the first waiting entry whose prefix no earlier exploring entry
  // shares; false when there is none or no thread for it.
  bool StartOne(int count);
  bool Show(int waiting, int exploring);

  const uint64_t generation_;
  int shownSessions_ = 0;
  int shownFinished_ = 0;
  int shownWaiting_ = 0;
};

}  // namespace qb
